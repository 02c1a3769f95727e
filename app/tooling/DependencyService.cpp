#include "app/tooling/DependencyService.h"

#include "core/BuildConfig.h"
#include "app/tooling/CLIProcess.h"
#include "app/tooling/CLIService.h"
#include "platform/PrivilegedRunner.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
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

bool isPinnedDigest(const QString& digest)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{64}$"));
    return pattern.match(digest).hasMatch();
}

// The file's SHA-256 in lower-case hex, read in pieces; empty when unreadable.
QString fileSHA256(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

DependencyService::DependencyService(QNetworkAccessManager* network, CLIService* cli, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_cli(cli)
    , m_archiveURL(QUrl(QString::fromUtf8(BuildConfig::ollamaURL), QUrl::StrictMode))
    , m_archiveSHA256(QString::fromUtf8(BuildConfig::ollamaSHA256))
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

QString DependencyService::privilegedInstallCommand(const QString& archivePath) const
{
    const auto word = &PrivilegedRunner::shellWord;
    const QString bin = m_installPrefix + QStringLiteral("/bin");
    const QString libraries = m_installPrefix + QStringLiteral("/lib/ollama");
    // mktemp -d in /tmp as root: a folder (0700) only root can touch. Nothing
    // after the copy reads the user's file again.
    const QStringList lines{
        QStringLiteral("set -eu"),
        QStringLiteral("umask 022"),
        QStringLiteral("work=$(mktemp -d /tmp/quorvane-runtime.XXXXXXXX)"),
        QStringLiteral("trap 'rm -rf -- \"$work\"' EXIT"),
        QStringLiteral("cp -- ") + word(archivePath) + QStringLiteral(" \"$work/runtime\""),
        QStringLiteral("printf '%s  %s\\n' ") + word(m_archiveSHA256)
            + QStringLiteral(" \"$work/runtime\" | sha256sum -c --status - || "
                             "{ echo 'the runtime archive does not match its pinned digest' >&2; exit 3; }"),
        QStringLiteral("mkdir \"$work/unpacked\""),
        QStringLiteral("tar -xf \"$work/runtime\" -C \"$work/unpacked\" --no-same-owner 2>/dev/null || "
                       "{ echo 'Failed to unpack Ollama' >&2; exit 4; }"),
        QStringLiteral("[ -f \"$work/unpacked/bin/ollama\" ] && [ ! -L \"$work/unpacked/bin/ollama\" ] || "
                       "{ echo 'ollama not found in archive' >&2; exit 4; }"),
        QStringLiteral("mkdir -p ") + word(bin),
        QStringLiteral("install -m 0755 \"$work/unpacked/bin/ollama\" ") + word(bin + QStringLiteral("/ollama")),
        // The runtime's GPU and CPU back ends sit beside the command in lib/ollama.
        QStringLiteral("if [ -d \"$work/unpacked/lib/ollama\" ]; then mkdir -p ") + word(libraries)
            + QStringLiteral(" && cp -R \"$work/unpacked/lib/ollama/.\" ") + word(libraries) + QStringLiteral("; fi"),
    };
    return lines.join(u'\n');
}

void DependencyService::removeOwnFile(const QString& path) const
{
    // Only a file in this service's own private folder is deleted: a path
    // handed in from elsewhere is never removed.
    const QString workDir = m_workDir && m_workDir->isValid() ? m_workDir->path() : QString();
    if (!workDir.isEmpty() && QDir::cleanPath(path).startsWith(workDir + u'/'))
        QFile::remove(path);
}

QCoro::Task<CLIResult<DependencyStatus>> DependencyService::installOllama(QString archivePath)
{
    m_archivePath.clear();
    if (!isPinnedDigest(m_archiveSHA256)) {
        removeOwnFile(archivePath);
        co_return CLIError::installFailed(QStringLiteral("Ollama install blocked: this build pins no digest for it"));
    }
    // Checked here first so that a wrong download never opens the password prompt.
    if (fileSHA256(archivePath) != m_archiveSHA256) {
        removeOwnFile(archivePath);
        co_return CLIError::installFailed(
            QStringLiteral("Ollama install blocked: the download does not match its pinned digest"));
    }
    if (!m_cli) {
        removeOwnFile(archivePath);
        co_return CLIError::installFailed(QStringLiteral("Admin setup failed: no administrator prompt available"));
    }

    const QPointer<DependencyService> self(this);
    const QStringList commands{privilegedInstallCommand(archivePath)};
    const CLIResult<void> installed = co_await m_cli->runPrivileged(commands);
    removeOwnFile(archivePath);
    if (!installed)
        co_return installed.error();
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
    const CLIResult<DependencyStatus> installed = co_await installOllama(archive.value());
    if (!installed)
        co_return report(DependencyStatus::failed(installed.error().description()));
    co_return report(installed.value());
}
