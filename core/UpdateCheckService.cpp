#include "core/UpdateCheckService.h"

#include "core/LifetimeGuard.h"
#include "core/BuildConfig.h"
#include "core/CoreConstants.h"
#include "core/Http.h"
#include "core/LatestRelease.h"
#include "core/InstallationSwap.h"
#include "core/ReleaseArchive.h"
#include "core/ReleaseDownload.h"
#include "core/ReleaseSignature.h"
#include "core/UpdateLog.h"
#include "core/VersionComparison.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>

#include <QCoroNetworkReply>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

QString orNil(const std::optional<QString>& text) { return text ? *text : QStringLiteral("nil"); }

// The version as part of a file name: anything but letters, digits, '.', '-',
// '+' and '_' becomes '_', so a server-supplied version cannot name a path.
QString fileNameComponent(const QString& version)
{
    QString safe = version.left(64);
    for (QChar& c : safe) {
        const bool allowed = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
                             || c == u'.' || c == u'-' || c == u'+' || c == u'_';
        if (!allowed)
            c = u'_';
    }
    if (safe.startsWith(u'.'))
        safe.prepend(u'_');
    return safe;
}

bool isLoopbackHost(const QString& host)
{
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

} // namespace

UpdateCheckService::UpdateCheckService(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_checkNetwork(std::make_unique<QNetworkAccessManager>())
    , m_releaseHost(CoreConstants::releaseHost())
    , m_releasePublicKey(CoreConstants::releasePublicKey())
    , m_installPrefix(defaultInstallPrefix())
    , m_processId(QCoreApplication::applicationPid())
{
    m_timer.setInterval(defaultCheckInterval);
    // The timer belongs to this object: a tick never outlives it.
    connect(&m_timer, &QTimer::timeout, this, [this] { check(); });
}

UpdateCheckService::~UpdateCheckService()
{
    // A running download finishes (aborted) right here; its flow sees the stop
    // flag, removes its private folder and touches nothing else.
    m_stopping = true;
    if (m_download)
        m_download->abort();
    // A release query under way ends here too, before its access manager goes.
    for (QNetworkReply* reply : m_checkNetwork->findChildren<QNetworkReply*>())
        reply->abort();
}

QUrl UpdateCheckService::endpoint() const
{
    return QUrl(CoreConstants::apiBaseURL() + QStringLiteral("/releases/latest"));
}

void UpdateCheckService::setCheckInterval(std::chrono::milliseconds interval) { m_timer.setInterval(interval); }
void UpdateCheckService::setDownloadDeadline(std::chrono::milliseconds deadline) { m_downloadDeadline = deadline; }
void UpdateCheckService::setReleaseHost(const QString& host) { m_releaseHost = host; }
void UpdateCheckService::setReleasePublicKey(const QString& base64Url) { m_releasePublicKey = base64Url; }
void UpdateCheckService::setProcessId(qint64 pid) { m_processId = pid; }

void UpdateCheckService::setInstallPrefix(const QString& prefix)
{
    if (m_installPrefix == prefix)
        return;
    m_installPrefix = prefix;
    Q_EMIT installPrefixChanged();
}

QString UpdateCheckService::defaultInstallPrefix()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
}

void UpdateCheckService::start(const std::optional<QString>& localVersion, TerminateCallback terminateApp)
{
    m_localVersion = localVersion;
    m_terminateApp = std::move(terminateApp);
    UpdateLog::append(QStringLiteral("start: local version=") + orNil(m_localVersion));
    for (const QString& action : InstallationSwap::repair(m_installPrefix))
        UpdateLog::append(action);
    check();
    m_timer.start();
}

QCoro::Task<> UpdateCheckService::check()
{
    const LifetimeGuard guard(this);
    QNetworkRequest request(endpoint());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    const Http::Limits limits { maximumAnswerSize, int(checkDeadline.count()) };
    QCoro::Task<HttpResponse> sending
        = Http::send(*m_checkNetwork, request, QByteArrayLiteral("GET"), {}, limits);
    const HttpResponse response = co_await std::move(sending);
    if (!guard.alive() || m_stopping)
        co_return;

    if (!response.isHttp()) {
        UpdateLog::append(QStringLiteral("check failed: ") + response.transportError);
        co_return;
    }
    if (response.bodyTooLarge) {
        UpdateLog::append(
            QStringLiteral("check failed: the answer is larger than %1 bytes").arg(maximumAnswerSize));
        co_return;
    }
    if (response.status != 200) {
        UpdateLog::append(QStringLiteral("check: bad status ") + QString::number(response.status));
        co_return;
    }

    QString decodeError;
    const std::optional<LatestRelease> release = LatestRelease::fromJson(response.body, &decodeError);
    if (!release) {
        UpdateLog::append(QStringLiteral("check failed: ") + decodeError);
        co_return;
    }

    const bool newer = VersionComparison::isNewer(release->version, m_localVersion);
    UpdateLog::append(QStringLiteral("check: remote=") + release->version + QStringLiteral(" local=")
                      + orNil(m_localVersion) + QStringLiteral(" newer=")
                      + (newer ? QStringLiteral("true") : QStringLiteral("false")));
    if (newer) {
        const QUrl url(release->url, QUrl::StrictMode);
        m_downloadURLText = release->url;
        m_expectedSHA256 = release->sha256;
        m_expectedSignature = release->signature;
        m_expectedSize = release->size;
        setAvailableVersion(release->version);
        setDownloadURL(url.isValid() && !url.isRelative() ? url : QUrl());
    } else {
        m_downloadURLText.clear();
        m_expectedSHA256.reset();
        m_expectedSignature.reset();
        m_expectedSize.reset();
        setAvailableVersion(QString());
        setDownloadURL(QUrl());
    }
}

void UpdateCheckService::downloadAndInstall() { runDownloadAndInstall(); }

QString UpdateCheckService::ownVersion(const QString& prefix)
{
    QFile file(prefix + u'/' + QLatin1String(ReleaseArchive::versionEntry));
    if (file.open(QIODevice::ReadOnly)) {
        const QString carried = QString::fromUtf8(file.read(64)).trimmed();
        if (!VersionComparison::numbers(carried).isEmpty())
            return carried;
    }
    return QString::fromLatin1(BuildConfig::version);
}

bool UpdateCheckService::isPackageManaged(const QString& prefix)
{
    const QString canonical = QFileInfo(prefix).canonicalFilePath();
    const QString path = canonical.isEmpty() ? prefix : canonical;
    return path == QLatin1String("/usr") || path.startsWith(QLatin1String("/usr/"));
}

std::optional<UpdateCheckService::Refusal> UpdateCheckService::installationRefusal() const
{
    const QString prefix = QFileInfo(m_installPrefix).canonicalFilePath();
    const QString shown = prefix.isEmpty() ? m_installPrefix : prefix;
    if (isPackageManaged(m_installPrefix))
        return Refusal{QStringLiteral("BLOCKED: installation at ") + shown
                           + QStringLiteral(" is managed by the system package manager"),
                       tr("Update unavailable: this installation is managed by the system package manager")};
    if (prefix.isEmpty() || prefix == QLatin1String("/")
        || !QFileInfo(prefix + u'/' + QLatin1String(appExecutable)).isExecutable())
        return Refusal{QStringLiteral("BLOCKED: ") + shown + QStringLiteral(" is not a self-contained installation"),
                       tr("Update unavailable: this installation cannot replace itself")};
    const QString parent = QFileInfo(prefix).absolutePath();
    if (::access(QFile::encodeName(parent).constData(), W_OK | X_OK) != 0
        || ::access(QFile::encodeName(prefix).constData(), W_OK | X_OK) != 0)
        return Refusal{QStringLiteral("BLOCKED: installation folder ") + parent + QStringLiteral(" is not writable"),
                       tr("Update unavailable: the installation folder is not writable")};
    return std::nullopt;
}

std::optional<UpdateCheckService::Refusal> UpdateCheckService::sourceRefusal() const
{
    const QString untrusted = tr("Update blocked: untrusted download source");
    const std::optional<QString> written = LatestRelease::hostAsWritten(m_downloadURLText);
    const QString parsed = m_downloadURL.host();
    // Exact, case-sensitive comparison with the host as written; the parsed
    // host must agree so that the request really goes there.
    if (!written || *written != m_releaseHost || parsed.compare(m_releaseHost, Qt::CaseInsensitive) != 0) {
        const QString shown = written && *written != m_releaseHost ? *written : (parsed.isEmpty() ? orNil(written) : parsed);
        return Refusal{QStringLiteral("BLOCKED: download host ") + shown + QStringLiteral(" != ") + m_releaseHost,
                       untrusted};
    }
    const QString scheme = m_downloadURL.scheme();
    if (scheme != QLatin1String("https") && !(scheme == QLatin1String("http") && isLoopbackHost(parsed)))
        return Refusal{QStringLiteral("BLOCKED: download scheme ") + scheme + QStringLiteral(" is not https"),
                       untrusted};
    return std::nullopt;
}

QCoro::Task<> UpdateCheckService::runDownloadAndInstall()
{
    if (!m_downloadURL.isValid() || m_availableVersion.isEmpty() || m_isUpdating)
        co_return;
    for (const std::optional<Refusal>& refusal : {installationRefusal(), sourceRefusal()}) {
        if (refusal) {
            UpdateLog::append(refusal->logLine);
            setUpdateError(refusal->message);
            co_return;
        }
    }

    const LifetimeGuard guard(this);
    // What this attempt checks against, fixed now: a check that runs while the
    // download is under way may publish another release.
    const Announcement announced{m_downloadURL, m_availableVersion, m_expectedSHA256, m_expectedSignature,
                                 m_expectedSize};
    UpdateLog::append(QStringLiteral("download starting: ") + m_downloadURLText);
    setIsUpdating(true);
    setUpdateProgress(0.0);
    setUpdateError(QString());

    // A private folder (mode 0700 from its creation) holds the archive; nobody
    // else can swap files in it.
    QByteArray folderTemplate = QFile::encodeName(QDir::tempPath() + QStringLiteral("/quorvane-update-XXXXXX"));
    if (!::mkdtemp(folderTemplate.data())) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        UpdateLog::append(QStringLiteral("download folder failed: ") + reason);
        fail(tr("Update failed: %1").arg(reason));
        co_return;
    }
    const QString workDirectory = QFile::decodeName(folderTemplate);
    const QString archivePath = workDirectory + QStringLiteral("/Quorvane-") + fileNameComponent(announced.version)
                                + QStringLiteral(".tar.gz");

    ReleaseDownload download(m_network, announced.url, archivePath, announced.size.value_or(unannouncedSizeLimit),
                             m_downloadDeadline);
    m_download = &download;
    const std::optional<ReleaseDownload::Failure> failure = co_await download.run([this](double fraction) {
        setUpdateProgress(fraction);
    });
    if (!guard.alive() || m_stopping) {
        QDir(workDirectory).removeRecursively();
        co_return;
    }
    m_download = nullptr;
    if (failure) {
        UpdateLog::append(failure->logLine);
        QDir(workDirectory).removeRecursively();
        fail(failure->message);
        co_return;
    }

    UpdateLog::append(QStringLiteral("download complete: ") + archivePath);
    setUpdateProgress(1.0);
    if (!verifyDownload(archivePath, announced)) {
        QDir(workDirectory).removeRecursively();
        co_return;
    }
    launchInstaller(workDirectory, archivePath, announced);
}

bool UpdateCheckService::verifyDownload(const QString& archivePath, const Announcement& announced)
{
    const QString signatureFailed = tr("Update blocked: publisher signature check failed");
    if (!announced.sha256) {
        UpdateLog::append(QStringLiteral("BLOCKED: no expected hash from server"));
        fail(tr("Update blocked: missing integrity hash"));
        return false;
    }

    // The file is mapped, not read: its pages stay in the page cache.
    QFile file(archivePath);
    const uchar* mapped = file.open(QIODevice::ReadOnly) && file.size() > 0 ? file.map(0, file.size()) : nullptr;
    if (!mapped) {
        UpdateLog::append(QStringLiteral("BLOCKED: could not read downloaded file"));
        fail(tr("Update failed: could not read download"));
        return false;
    }
    const QByteArrayView bytes(mapped, file.size());

    const QString computed = ReleaseSignature::sha256Hex(bytes);
    if (computed != *announced.sha256) {
        UpdateLog::append(QStringLiteral("BLOCKED: hash mismatch computed=") + computed + QStringLiteral(" expected=")
                          + *announced.sha256);
        fail(tr("Update blocked: integrity check failed"));
        return false;
    }
    UpdateLog::append(QStringLiteral("hash verified: ") + computed);

    if (!announced.signature) {
        UpdateLog::append(QStringLiteral("BLOCKED: no publisher signature from server"));
        fail(signatureFailed);
        return false;
    }
    if (!ReleaseSignature::decodeBase64Url(m_releasePublicKey, ReleaseSignature::publicKeySize)) {
        UpdateLog::append(QStringLiteral("BLOCKED: no valid publisher key in this build"));
        fail(signatureFailed);
        return false;
    }
    if (!ReleaseSignature::verifyText(m_releasePublicKey, bytes, *announced.signature)) {
        UpdateLog::append(QStringLiteral("BLOCKED: publisher signature invalid"));
        fail(signatureFailed);
        return false;
    }
    UpdateLog::append(QStringLiteral("publisher signature verified"));

    // The signature covers the version inside the archive, not the announced
    // one: an old genuine release announced as a new version stops here.
    const QString versionRefused = tr("Update blocked: the release is not the announced newer version");
    // Read through the file that was checked, not the path again.
    const ReleaseArchive::Result inner = ReleaseArchive::readVersion(file.handle());
    if (!inner.value) {
        UpdateLog::append(QStringLiteral("BLOCKED: ") + inner.error);
        fail(versionRefused);
        return false;
    }
    if (*inner.value != announced.version || !VersionComparison::isNewer(*inner.value, m_localVersion)) {
        UpdateLog::append(QStringLiteral("BLOCKED: archive version ") + *inner.value + QStringLiteral(" announced=")
                          + announced.version + QStringLiteral(" local=") + orNil(m_localVersion));
        fail(versionRefused);
        return false;
    }
    UpdateLog::append(QStringLiteral("archive version verified: ") + *inner.value);
    return true;
}

void UpdateCheckService::launchInstaller(const QString& workDirectory, const QString& archivePath,
                                         const Announcement& announced)
{
    const QString prefix = QFileInfo(m_installPrefix).canonicalFilePath();
    const QString updater = prefix + u'/' + QLatin1String(updaterExecutable);
    QProcess process;
    process.setProgram(updater);
    process.setArguments({QStringLiteral("--wait-pid"), QString::number(m_processId),
                          QStringLiteral("--archive"), archivePath,
                          QStringLiteral("--signature"), *announced.signature,
                          QStringLiteral("--public-key"), m_releasePublicKey,
                          QStringLiteral("--version"), announced.version,
                          QStringLiteral("--installed-version"), orNil(m_localVersion),
                          QStringLiteral("--prefix"), prefix,
                          QStringLiteral("--work-dir"), workDirectory,
                          QStringLiteral("--log"), CoreConstants::updateCheckLogPath()});
    process.setWorkingDirectory(QStringLiteral("/"));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (prefix.isEmpty() || !QFileInfo(updater).isExecutable() || !process.startDetached()) {
        const QString reason = QFileInfo(updater).isExecutable() ? process.errorString()
                                                                 : QStringLiteral("no updater at ") + updater;
        UpdateLog::append(QStringLiteral("failed to launch updater: ") + reason);
        QDir(workDirectory).removeRecursively();
        fail(tr("Update failed: could not launch installer"));
        return;
    }

    UpdateLog::append(QStringLiteral("updater launched, terminating app"));
    QTimer::singleShot(terminateDelay, this, [this] {
        if (m_terminateApp)
            m_terminateApp();
    });
}

void UpdateCheckService::fail(const QString& message)
{
    setIsUpdating(false);
    setUpdateProgress(0.0);
    setUpdateError(message);
}

void UpdateCheckService::setAvailableVersion(const QString& version)
{
    if (m_availableVersion == version && m_availableVersion.isNull() == version.isNull())
        return;
    m_availableVersion = version;
    Q_EMIT availableVersionChanged();
}

void UpdateCheckService::setDownloadURL(const QUrl& url)
{
    if (m_downloadURL == url)
        return;
    m_downloadURL = url;
    Q_EMIT downloadURLChanged();
}

void UpdateCheckService::setIsUpdating(bool updating)
{
    if (m_isUpdating == updating)
        return;
    m_isUpdating = updating;
    Q_EMIT isUpdatingChanged();
}

void UpdateCheckService::setUpdateProgress(double progress)
{
    if (m_updateProgress == progress)
        return;
    m_updateProgress = progress;
    Q_EMIT updateProgressChanged();
}

void UpdateCheckService::setUpdateError(const QString& error)
{
    if (m_updateError == error && m_updateError.isNull() == error.isNull())
        return;
    m_updateError = error;
    Q_EMIT updateErrorChanged();
}
