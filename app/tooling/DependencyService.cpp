#include "DependencyService.h"

#include "BuildConfig.h"
#include "CLIProcess.h"
#include "CLIService.h"
#include "PrivilegedRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTimer>

#include <qcorosignal.h>

namespace {

const QString badStatus = QStringLiteral("Download failed: bad status");
constexpr int transferTimeout = 60000;

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QCoro::Task<> ended(CLIProcess* process)
{
    while (!process->isFinished())
        co_await qCoro(process, &CLIProcess::stateChanged);
}

QString unpackedCommand(const QString& unpackedPath) { return unpackedPath + QStringLiteral("/bin/ollama"); }

} // namespace

DependencyService::DependencyService(QNetworkAccessManager* network, CLIService* cli, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_cli(cli)
    , m_archiveURL(QUrl(QString::fromUtf8(BuildConfig::ollamaURL), QUrl::StrictMode))
    , m_knownPaths{QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin")}
    , m_modelQueryCommands{QStringLiteral("/usr/local/bin/ollama")}
    , m_installPrefix(QStringLiteral("/usr/local"))
{
}

DependencyService::~DependencyService()
{
    // The waiting download() sees that this object is gone and fails.
    if (m_reply)
        m_reply->abort();
}

QString DependencyService::workDirectory()
{
    if (!m_workDir || !m_workDir->isValid())
        m_workDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quorvane-runtime-XXXXXX"));
    // QTemporaryDir creates the folder with mode 0700.
    return m_workDir->isValid() ? m_workDir->path() : QString();
}

bool DependencyService::isOllamaInstalled() const
{
    for (const QString& directory : m_knownPaths) {
        if (isExecutableFile(directory + QStringLiteral("/ollama")))
            return true;
    }
    return false;
}

QCoro::Task<bool> DependencyService::isGemmaInstalled()
{
    QString command;
    for (const QString& candidate : m_modelQueryCommands) {
        if (isExecutableFile(candidate)) {
            command = candidate;
            break;
        }
    }
    if (command.isEmpty())
        co_return false;

    const auto process = std::make_unique<CLIProcess>(command, QStringList{QStringLiteral("list")},
                                                      CLIProcess::OutputMode::capture);
    // A runtime that never answers is not allowed to hold up the caller.
    QTimer timeout;
    timeout.setSingleShot(true);
    bool timedOut = false;
    connect(&timeout, &QTimer::timeout, process.get(), [&timedOut, process = process.get()] {
        timedOut = true;
        process->terminate();
    });
    timeout.start(m_modelQueryTimeout);
    process->launch();
    co_await ended(process.get());
    timeout.stop();
    if (process->launchFailed() || timedOut)
        co_return false;

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(process->takeCapturedOutput());
    co_return !decoder.hasError() && text.contains(QLatin1String("gemma"));
}

QCoro::Task<CLIResult<QString>> DependencyService::download(QUrl url, QString fileName, ProgressHandler onProgress)
{
    if (m_reply)
        co_return CLIError::installFailed(QStringLiteral("Download failed: another download is in progress"));
    if (fileName.isEmpty() || fileName.contains(u'/') || fileName == QLatin1String(".")
        || fileName == QLatin1String("..") || fileName.contains(QChar(0)))
        co_return CLIError::installFailed(QStringLiteral("Download failed: invalid file name"));
    if (!m_network)
        co_return CLIError::installFailed(QStringLiteral("Download failed: no network access"));
    const QString directory = workDirectory();
    if (directory.isEmpty())
        co_return CLIError::systemError(QStringLiteral("Could not create a temporary folder in ") + QDir::tempPath());

    const QString destination = directory + u'/' + fileName;
    QFile::remove(destination);
    QFile partial(destination + QStringLiteral(".part"));
    if (!partial.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        co_return CLIError::systemError(partial.errorString());

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(transferTimeout);
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    const QPointer<DependencyService> self(this);

    QString writeError;
    const auto isOk = [reply] {
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    };
    // The body goes straight to disk: the archive is far too large to hold in memory.
    connect(reply, &QNetworkReply::readyRead, reply, [reply, &partial, &writeError, isOk] {
        const QByteArray chunk = reply->readAll();
        if (!isOk() || !writeError.isEmpty())
            return;
        if (partial.write(chunk) != chunk.size()) {
            writeError = partial.errorString();
            reply->abort();
        }
    });
    // Qt reports a made-up total at the end of a download of unknown size;
    // only a size the server announced counts.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, onProgress](qint64 received, qint64 total) {
        if (total >= 1 && onProgress && reply->header(QNetworkRequest::ContentLengthHeader).isValid())
            onProgress(double(received) / double(total));
    });

    if (!reply->isFinished())
        co_await qCoro(reply, &QNetworkReply::finished);

    const QByteArray rest = reply->isOpen() ? reply->readAll() : QByteArray();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (writeError.isEmpty() && isOk() && !rest.isEmpty() && partial.write(rest) != rest.size())
        writeError = partial.errorString();
    reply->disconnect();
    reply->deleteLater();
    if (self)
        m_reply = nullptr;

    const auto fail = [&partial, &destination](CLIError failure) {
        partial.remove();
        QFile::remove(destination);
        return failure;
    };
    if (!self)
        co_return fail(CLIError::cancelled());
    if (!writeError.isEmpty())
        co_return fail(CLIError::systemError(writeError));
    if (error == QNetworkReply::OperationCanceledError)
        co_return fail(CLIError::cancelled());
    if (status.isValid() && status.toInt() != 200)
        co_return fail(CLIError::installFailed(badStatus));
    if (error != QNetworkReply::NoError)
        co_return fail(CLIError::systemError(errorText));
    if (!status.isValid())
        co_return fail(CLIError::installFailed(badStatus));

    if (!partial.flush()) {
        const QString flushError = partial.errorString();
        co_return fail(CLIError::systemError(flushError));
    }
    partial.close();
    if (!partial.rename(destination)) {
        const QString renameError = partial.errorString();
        co_return fail(CLIError::systemError(renameError));
    }
    co_return destination;
}

void DependencyService::cancelDownload()
{
    if (m_reply)
        m_reply->abort();
}

QCoro::Task<CLIResult<QString>> DependencyService::downloadOllama(ProgressHandler onProgress)
{
    const QUrl url = m_archiveURL;
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        co_return CLIError::installFailed(QStringLiteral("Invalid Ollama download URL"));
    QString fileName = url.fileName();
    if (fileName.isEmpty() || fileName == QLatin1String("..") || fileName == QLatin1String("."))
        fileName = QStringLiteral("ollama-linux.tgz");
    const QPointer<DependencyService> self(this);
    CLIResult<QString> result = co_await download(url, fileName, std::move(onProgress));
    if (self && result)
        m_archivePath = result.value();
    co_return result;
}

QCoro::Task<CLIResult<QString>> DependencyService::unpackOllama(QString archivePath)
{
    const QString directory = workDirectory();
    if (directory.isEmpty())
        co_return CLIError::systemError(QStringLiteral("Could not create a temporary folder in ") + QDir::tempPath());
    const QString folder = directory + QStringLiteral("/ollama-extract");
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder))
        co_return CLIError::systemError(QStringLiteral("Could not create ") + folder);

    // GNU tar recognises the compression itself, refuses members that would
    // land outside the folder ("..", absolute names) and keeps the files ours.
    const auto process = std::make_unique<CLIProcess>(
        QStringLiteral("/usr/bin/tar"),
        QStringList{QStringLiteral("-xf"), archivePath, QStringLiteral("-C"), folder, QStringLiteral("--no-same-owner"),
                    QStringLiteral("--no-same-permissions")},
        CLIProcess::OutputMode::discard);
    process->launch();
    co_await ended(process.get());
    if (process->launchFailed())
        co_return CLIError::launchFailed(process->launchError());
    if (process->exitStatus() != 0)
        co_return CLIError::installFailed(QStringLiteral("Failed to unpack Ollama"));

    const QFileInfo command(unpackedCommand(folder));
    if (!command.isFile() || command.isSymLink() || !command.isExecutable())
        co_return CLIError::installFailed(QStringLiteral("ollama not found in archive"));
    co_return folder;
}

QCoro::Task<CLIResult<DependencyStatus>> DependencyService::installOllama(QString unpackedPath)
{
    if (!m_archivePath.isEmpty()) {
        QFile::remove(m_archivePath);
        m_archivePath.clear();
    }
    if (!m_cli)
        co_return CLIError::installFailed(QStringLiteral("Admin setup failed: no administrator prompt available"));

    const auto word = &PrivilegedRunner::shellWord;
    const QString bin = m_installPrefix + QStringLiteral("/bin");
    QStringList commands{
        QStringLiteral("mkdir -p ") + word(bin),
        QStringLiteral("install -m 0755 ") + word(unpackedCommand(unpackedPath)) + u' '
            + word(bin + QStringLiteral("/ollama")),
    };
    // The runtime's GPU and CPU back ends sit beside the command in lib/ollama.
    const QString libraries = unpackedPath + QStringLiteral("/lib/ollama");
    if (QFileInfo(libraries).isDir()) {
        const QString target = m_installPrefix + QStringLiteral("/lib/ollama");
        commands.append(QStringLiteral("mkdir -p ") + word(target));
        commands.append(QStringLiteral("cp -R ") + word(libraries + QStringLiteral("/.")) + u' ' + word(target));
    }

    const QPointer<DependencyService> self(this);
    const QString workDir = m_workDir && m_workDir->isValid() ? m_workDir->path() : QString();
    const CLIResult<void> copied = co_await m_cli->runPrivileged(commands);
    // Only a folder this service unpacked into its own private folder is
    // deleted: a path handed in from elsewhere is never removed.
    if (!workDir.isEmpty() && QDir::cleanPath(unpackedPath).startsWith(workDir + u'/'))
        QDir(unpackedPath).removeRecursively();
    if (!copied)
        co_return copied.error();
    if (!self)
        co_return CLIError::cancelled();
    co_return isOllamaInstalled() ? DependencyStatus::installed()
                                  : DependencyStatus::failed(QStringLiteral("Ollama not found after install"));
}

QCoro::Task<DependencyStatus> DependencyService::installOllamaIfMissing(StatusHandler onStatus)
{
    const auto report = [&onStatus](const DependencyStatus& status) {
        if (onStatus)
            onStatus(status);
        return status;
    };
    if (isOllamaInstalled())
        co_return report(DependencyStatus::installed());

    const QPointer<DependencyService> self(this);
    report(DependencyStatus::downloading(0.0));
    const CLIResult<QString> archive =
        co_await downloadOllama([onStatus](double fraction) {
            if (onStatus)
                onStatus(DependencyStatus::downloading(fraction));
        });
    if (!archive)
        co_return report(DependencyStatus::failed(archive.error().description()));
    if (!self)
        co_return DependencyStatus::failed(CLIError::cancelled().description());

    report(DependencyStatus::installing());
    const CLIResult<QString> unpacked = co_await unpackOllama(archive.value());
    if (!self)
        co_return DependencyStatus::failed(CLIError::cancelled().description());
    if (!unpacked) {
        QFile::remove(archive.value());
        co_return report(DependencyStatus::failed(unpacked.error().description()));
    }
    const CLIResult<DependencyStatus> installed = co_await installOllama(unpacked.value());
    if (!installed)
        co_return report(DependencyStatus::failed(installed.error().description()));
    co_return report(installed.value());
}
