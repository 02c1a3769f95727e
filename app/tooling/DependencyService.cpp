#include "app/tooling/DependencyService.h"

#include "core/LifetimeGuard.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/ModelRuntimeServer.h"
#include "app/tooling/ProgramRun.h"
#include "core/BuildConfig.h"
#include "core/ReleaseDownload.h"
#include "platform/PrivilegedRunner.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QSysInfo>
#include <QTemporaryDir>

namespace {

// "ollama list" prints one short line per model.
constexpr qint64 modelListBytes = 1024 * 1024;

QString badStatus()
{
    return DependencyService::tr("Download failed: bad status");
}

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QStringList defaultKnownPaths()
{
    QStringList paths { QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin") };
    for (const QString& folder : qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts)) {
        // Only absolute folders: a relative one would depend on the working folder.
        if (QDir::isAbsolutePath(folder) && !paths.contains(QDir::cleanPath(folder)))
            paths.append(QDir::cleanPath(folder));
    }
    return paths;
}

QString unsupportedArchitecture(const QString& architecture)
{
    return DependencyService::tr("Ollama is not available for this machine's architecture (%1)")
        .arg(architecture);
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

DependencyService::DependencyService(QNetworkAccessManager* network, CLIService* cli,
                                     ModelRuntimeServer* runtimeServer, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_cli(cli)
    , m_server(runtimeServer)
    , m_knownPaths(defaultKnownPaths())
    , m_installPrefix(QStringLiteral("/usr/local"))
{
    setMachineArchitecture(QSysInfo::currentCpuArchitecture());
}

DependencyService::~DependencyService()
{
    // The waiting download() sees that this object is gone and fails.
    cancelDownload();
}

std::optional<QString> DependencyService::runtimeArchitecture(const QString& cpuArchitecture)
{
    if (cpuArchitecture == QLatin1String("x86_64"))
        return QStringLiteral("amd64");
    if (cpuArchitecture == QLatin1String("arm64") || cpuArchitecture == QLatin1String("aarch64"))
        return QStringLiteral("arm64");
    return std::nullopt;
}

void DependencyService::setMachineArchitecture(const QString& cpuArchitecture)
{
    m_machineArchitecture = cpuArchitecture;
    const std::optional<QString> runtime = runtimeArchitecture(cpuArchitecture);
    if (!runtime) {
        m_archiveURL = QUrl();
        m_archiveSHA256.clear();
        return;
    }
    QString address = QString::fromUtf8(BuildConfig::ollamaURL);
    address.replace(QLatin1String("{arch}"), *runtime);
    m_archiveSHA256 = QString::fromUtf8(
        *runtime == QLatin1String("arm64") ? BuildConfig::ollamaSHA256Arm64 : BuildConfig::ollamaSHA256Amd64);
#ifdef QUORVANE_DEV_OVERRIDES
    // Tests and the demo point the install at their own archive (or at a port
    // where nobody answers, as on a machine without network).
    if (qEnvironmentVariableIsSet("QUORVANE_OLLAMA_URL"))
        address = qEnvironmentVariable("QUORVANE_OLLAMA_URL").replace(QLatin1String("{arch}"), *runtime);
    if (qEnvironmentVariableIsSet("QUORVANE_OLLAMA_SHA256"))
        m_archiveSHA256 = qEnvironmentVariable("QUORVANE_OLLAMA_SHA256");
#endif
    m_archiveURL = QUrl(address, QUrl::StrictMode);
}

QString DependencyService::workDirectory()
{
    if (!m_workDir || !m_workDir->isValid())
        m_workDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quorvane-runtime-XXXXXX"));
    // QTemporaryDir creates the folder with mode 0700.
    return m_workDir->isValid() ? m_workDir->path() : QString();
}

QString DependencyService::ollamaCommand() const
{
    const QStringList folders = QStringList { m_installPrefix + QStringLiteral("/bin") } + m_knownPaths;
    for (const QString& directory : folders) {
        const QString command = directory + QStringLiteral("/ollama");
        if (isExecutableFile(command))
            return command;
    }
    return {};
}

std::optional<QString> DependencyService::installBlockedReason() const
{
    if (isOllamaInstalled())
        return std::nullopt;
    if (!runtimeArchitecture(m_machineArchitecture) && m_archiveURL.isEmpty())
        return unsupportedArchitecture(m_machineArchitecture);
    if (!isPinnedDigest(m_archiveSHA256))
        return tr("This build of Quorvane pins no digest for the Ollama engine, so it cannot install it");
    return std::nullopt;
}

QCoro::Task<bool> DependencyService::isGemmaInstalled()
{
    const QString command = ollamaCommand();
    if (command.isEmpty())
        co_return false;

    // A runtime that never answers is not allowed to hold up the caller; its
    // exit status is not examined.
    QCoro::Task<ProgramRun::Result> listing = ProgramRun::run(
        command, { QStringLiteral("list") }, std::chrono::milliseconds(m_modelQueryTimeout), true);
    const ProgramRun::Result list = co_await std::move(listing);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(list.output);
    co_return !decoder.hasError() && text.contains(QLatin1String("gemma"));
}

QCoro::Task<CLIResult<QString>> DependencyService::download(QUrl url, QString fileName, ProgressHandler onProgress)
{
    if (m_download)
        co_return CLIError::installFailed(tr("Download failed: another download is in progress"));
    if (fileName.isEmpty() || fileName.contains(u'/') || fileName == QLatin1String(".")
        || fileName == QLatin1String("..") || fileName.contains(QChar(0)))
        co_return CLIError::installFailed(tr("Download failed: invalid file name"));
    if (!m_network)
        co_return CLIError::installFailed(tr("Download failed: no network access"));
    const QString directory = workDirectory();
    if (directory.isEmpty())
        co_return CLIError::systemError(
            tr("Could not create a temporary folder in %1").arg(QDir::tempPath()));

    const QString destination = directory + u'/' + fileName;
    QFile::remove(destination);
    ReleaseDownload transfer(m_network, url, destination, m_maximumArchiveSize, m_archiveDeadline);
    // The maker's download address sends the archive from another host.
    transfer.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_download = &transfer;
    const LifetimeGuard guard(this);
    const std::optional<ReleaseDownload::Failure> failure = co_await transfer.run(onProgress);
    if (guard.alive())
        m_download = nullptr;

    const auto fail = [&destination](CLIError error) {
        QFile::remove(destination);
        return error;
    };
    if (!guard.alive() || (failure && failure->kind == ReleaseDownload::Failure::Kind::aborted))
        co_return fail(CLIError::cancelled());
    if (transfer.status() != 0 && transfer.status() != 200)
        co_return fail(CLIError::installFailed(badStatus()));
    if (failure) {
        switch (failure->kind) {
        case ReleaseDownload::Failure::Kind::writeFailed:
        case ReleaseDownload::Failure::Kind::transport:
            co_return fail(CLIError::systemError(failure->reason));
        case ReleaseDownload::Failure::Kind::badStatus:
            co_return fail(CLIError::installFailed(badStatus()));
        default:
            co_return fail(CLIError::installFailed(failure->message));
        }
    }
    co_return destination;
}

void DependencyService::cancelDownload()
{
    if (m_download)
        m_download->abort();
}

QCoro::Task<CLIResult<QString>> DependencyService::downloadOllama(ProgressHandler onProgress)
{
    if (!runtimeArchitecture(m_machineArchitecture) && m_archiveURL.isEmpty())
        co_return CLIError::installFailed(unsupportedArchitecture(m_machineArchitecture));
    const QUrl url = m_archiveURL;
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        co_return CLIError::installFailed(tr("Invalid Ollama download URL"));
    QString fileName = url.fileName();
    if (fileName.isEmpty() || fileName == QLatin1String("..") || fileName == QLatin1String("."))
        fileName = QStringLiteral("ollama-linux.tgz");
    const LifetimeGuard guard(this);
    CLIResult<QString> result = co_await download(url, fileName, onProgress);
    if (guard.alive() && result)
        m_archivePath = result.value();
    co_return result;
}

PrivilegedRunner::Command DependencyService::privilegedInstallCommand(const QString& archivePath) const
{
    // One fixed script; the paths and the digest reach it as its arguments
    // ($1 to $4), so the shell never reads them as script text. mktemp -d in
    // /tmp as root: a folder (0700) only root can touch. Nothing after the copy
    // reads the user's file again.
    static const QStringList lines{
        QStringLiteral("set -eu"),
        QStringLiteral("umask 022"),
        QStringLiteral("archive=$1 digest=$2 bin=$3 libraries=$4"),
        QStringLiteral("work=$(mktemp -d /tmp/quorvane-runtime.XXXXXXXX)"),
        QStringLiteral("trap 'rm -rf -- \"$work\"' EXIT"),
        QStringLiteral("cp -- \"$archive\" \"$work/runtime\""),
        QStringLiteral("printf '%s  %s\\n' \"$digest\" \"$work/runtime\" | sha256sum -c --status - || "
                       "{ echo 'the runtime archive does not match its pinned digest' >&2; exit 3; }"),
        QStringLiteral("mkdir \"$work/unpacked\""),
        QStringLiteral("tar -xf \"$work/runtime\" -C \"$work/unpacked\" --no-same-owner 2>/dev/null || "
                       "{ echo 'Failed to unpack Ollama' >&2; exit 4; }"),
        QStringLiteral("[ -f \"$work/unpacked/bin/ollama\" ] && [ ! -L \"$work/unpacked/bin/ollama\" ] || "
                       "{ echo 'ollama not found in archive' >&2; exit 4; }"),
        QStringLiteral("mkdir -p -- \"$bin\""),
        QStringLiteral("install -m 0755 \"$work/unpacked/bin/ollama\" \"$bin/ollama\""),
        // The runtime's GPU and CPU back ends sit beside the command in lib/ollama.
        QStringLiteral("if [ -d \"$work/unpacked/lib/ollama\" ]; then mkdir -p -- \"$libraries\" "
                       "&& cp -R \"$work/unpacked/lib/ollama/.\" \"$libraries\"; fi"),
    };
    return {QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), lines.join(u'\n'), QStringLiteral("quorvane-runtime-install"), archivePath,
             m_archiveSHA256, m_installPrefix + QStringLiteral("/bin"),
             m_installPrefix + QStringLiteral("/lib/ollama")}};
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
        co_return CLIError::installFailed(tr("Ollama install blocked: this build pins no digest for it"));
    }
    // Checked here first so that a wrong download never opens the password prompt.
    if (fileSHA256(archivePath) != m_archiveSHA256) {
        removeOwnFile(archivePath);
        co_return CLIError::installFailed(
            tr("Ollama install blocked: the download does not match its pinned digest"));
    }
    if (!m_cli) {
        removeOwnFile(archivePath);
        co_return CLIError::installFailed(tr("Admin setup failed: no administrator prompt available"));
    }

    const LifetimeGuard guard(this);
    QCoro::Task<CLIResult<void>> installing = m_cli->runPrivileged(privilegedInstallCommand(archivePath));
    const CLIResult<void> installed = co_await std::move(installing);
    removeOwnFile(archivePath);
    if (!installed)
        co_return installed.error();
    if (!guard.alive())
        co_return CLIError::cancelled();
    co_return isOllamaInstalled() ? DependencyStatus::installed()
                                  : DependencyStatus::failed(tr("Ollama not found after install"));
}

QCoro::Task<CLIResult<DependencyStatus>> DependencyService::installOllamaIfMissing(StatusHandler onStatus)
{
    const auto report = [&onStatus](const DependencyStatus& status) {
        if (onStatus)
            onStatus(status);
        return status;
    };
    const LifetimeGuard guard(this);
    if (!isOllamaInstalled()) {
        // Nothing is fetched that could not be installed afterwards.
        if (const std::optional<QString> blocked = installBlockedReason()) {
            report(DependencyStatus::failed(*blocked));
            co_return CLIError::installFailed(*blocked);
        }
        report(DependencyStatus::downloading(0.0));
        const ProgressHandler onProgress = [onStatus](double fraction) {
            if (onStatus)
                onStatus(DependencyStatus::downloading(fraction));
        };
        // Called before the co_await: GCC 12 destroys the temporaries of a
        // co_await's operand twice (here a handler that owns heap memory).
        QCoro::Task<CLIResult<QString>> downloading = downloadOllama(onProgress);
        const CLIResult<QString> archive = co_await std::move(downloading);
        if (!guard.alive())
            co_return CLIError::cancelled();
        if (!archive) {
            report(DependencyStatus::failed(archive.error().description()));
            co_return archive.error();
        }
        report(DependencyStatus::installing());
        const CLIResult<DependencyStatus> installed = co_await installOllama(archive.value());
        if (!guard.alive())
            co_return CLIError::cancelled();
        if (!installed) {
            report(DependencyStatus::failed(installed.error().description()));
            co_return installed.error();
        }
        if (installed.value() != DependencyStatus::installed())
            co_return report(installed.value());
    }
    co_return report(co_await serve(onStatus));
}

QCoro::Task<DependencyStatus> DependencyService::serve(StatusHandler onStatus)
{
    const QPointer<ModelRuntimeServer> server = m_server;
    if (!server)
        co_return DependencyStatus::installed();
    if (!co_await server->answers()) {
        if (onStatus)
            onStatus(DependencyStatus::installing());
    }
    if (!server)
        co_return DependencyStatus::failed(CLIError::cancelled().description());
    const CLIResult<void> serving = co_await server->ensureServing(ollamaCommand());
    co_return serving ? DependencyStatus::installed() : DependencyStatus::failed(serving.error().description());
}
