#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

class ReleaseDownload;

// Keeps the installed program current. Once an hour it asks the back-end for
// the latest release and publishes the version when it is newer than the local
// one. downloadAndInstall() streams the release archive (only from the release
// host, at most the announced size, within a deadline) into a private folder,
// refuses it unless its SHA-256 digest equals the announced one, its Ed25519
// signature verifies against the pinned publisher key and the version it
// carries is the announced one and newer than the local one, then starts the
// updater helper (quorvane-updater) that swaps the installation once this
// process has quit, and asks the program to quit.
//
// Every step leaves a line in ~/.quorvane/update-check.log.
class UpdateCheckService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString availableVersion READ availableVersion NOTIFY availableVersionChanged)
    Q_PROPERTY(QUrl downloadURL READ downloadURL NOTIFY downloadURLChanged)
    Q_PROPERTY(bool isUpdating READ isUpdating NOTIFY isUpdatingChanged)
    Q_PROPERTY(double updateProgress READ updateProgress NOTIFY updateProgressChanged)
    Q_PROPERTY(QString updateError READ updateError NOTIFY updateErrorChanged)
    // A package installation: the package manager updates it, so nothing
    // offers "Update".
    Q_PROPERTY(bool packageManaged READ isPackageManaged NOTIFY installPrefixChanged)

public:
    using TerminateCallback = std::function<void()>;

    static constexpr std::chrono::milliseconds defaultCheckInterval { std::chrono::seconds(3600) };
    static constexpr std::chrono::milliseconds terminateDelay { 200 };
    static constexpr std::chrono::milliseconds defaultDownloadDeadline { std::chrono::minutes(15) };
    // The most the release query's answer may hold, and the time it may take.
    static constexpr qint64 maximumAnswerSize = 64 * 1024;
    static constexpr std::chrono::milliseconds checkDeadline { std::chrono::seconds(60) };
    // The most a download may bring when the release answer names no size.
    static constexpr qint64 unannouncedSizeLimit = qint64(200) * 1024 * 1024;
    // Relative to an installation prefix.
    static constexpr char appExecutable[] = "bin/quorvane-app";
    static constexpr char updaterExecutable[] = "libexec/quorvane/quorvane-updater";

    // `network` is the process's shared access manager for downloads; it must
    // outlive this. The release query has an access manager of its own, so
    // that it never waits behind (or holds up) the poll's connections.
    explicit UpdateCheckService(QNetworkAccessManager* network, QObject* parent = nullptr);
    ~UpdateCheckService() override;

    // Published state. An empty text / invalid URL means absent.
    QString availableVersion() const { return m_availableVersion; }
    QUrl downloadURL() const { return m_downloadURL; }
    bool isUpdating() const { return m_isUpdating; }
    double updateProgress() const { return m_updateProgress; }
    QString updateError() const { return m_updateError; }
    // The installed program's version as start() was given it.
    std::optional<QString> localVersion() const { return m_localVersion; }

    // Stores the installed version (this program's own; absent when unknown) and the callback that
    // quits the program, repairs a swap an interrupted update left half-done,
    // checks at once and then on every interval.
    void start(const std::optional<QString>& localVersion, TerminateCallback terminateApp);

    // One check of the release query; resolves when its outcome is published.
    QCoro::Task<> check();

    // The "Update" button. Does nothing without an available version and URL,
    // or while an update is already under way.
    void downloadAndInstall();
    // The same flow as a task that resolves when it has failed or launched the
    // updater (tests and callers that want to wait).
    QCoro::Task<> runDownloadAndInstall();

    // The release query: the API origin + "/releases/latest".
    QUrl endpoint() const;

    // Configuration; the composition root uses the defaults, tests inject.
    void setCheckInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds checkInterval() const { return m_timer.intervalAsDuration(); }
    void setDownloadDeadline(std::chrono::milliseconds deadline);
    void setReleaseHost(const QString& host);           // default CoreConstants::releaseHost()
    void setReleasePublicKey(const QString& base64Url); // default CoreConstants::releasePublicKey()
    void setInstallPrefix(const QString& prefix);       // default: the executable's folder/..
    void setProcessId(qint64 pid);                      // the process the updater waits for

    QString releaseHost() const { return m_releaseHost; }
    QString installPrefix() const { return m_installPrefix; }

    // The installation prefix of the running program: the parent of the folder
    // holding the executable (<prefix>/bin/quorvane-app).
    static QString defaultInstallPrefix();
    // This program's own version: the one its installation carries in
    // share/quorvane/release-version (what a release archive holds, covered by
    // its signature), else the version it was built as.
    static QString ownVersion(const QString& prefix);
    QString ownVersion() const { return ownVersion(m_installPrefix); }
    // An installation under /usr belongs to the system's package manager,
    // which updates it; it is never swapped in place.
    static bool isPackageManaged(const QString& prefix);
    bool isPackageManaged() const { return isPackageManaged(m_installPrefix); }

Q_SIGNALS:
    void availableVersionChanged();
    void downloadURLChanged();
    void isUpdatingChanged();
    void updateProgressChanged();
    void updateErrorChanged();
    void installPrefixChanged();

private:
    struct Refusal
    {
        QString logLine;
        QString message;
    };

    void setAvailableVersion(const QString& version);
    void setDownloadURL(const QUrl& url);
    void setIsUpdating(bool updating);
    void setUpdateProgress(double progress);
    void setUpdateError(const QString& error);
    void fail(const QString& message);

    std::optional<Refusal> installationRefusal() const;
    std::optional<Refusal> sourceRefusal() const;
    struct Announcement
    {
        QUrl url;
        QString version;
        std::optional<QString> sha256;
        std::optional<QString> signature;
        std::optional<qint64> size;
    };

    // Checks the finished download; true when it may be installed.
    bool verifyDownload(const QString& archivePath, const Announcement& announced);
    void launchInstaller(const QString& workDirectory, const QString& archivePath, const Announcement& announced);

    QNetworkAccessManager* m_network = nullptr;
    std::unique_ptr<QNetworkAccessManager> m_checkNetwork;

    QString m_availableVersion;
    QUrl m_downloadURL;
    bool m_isUpdating = false;
    double m_updateProgress = 0.0;
    QString m_updateError;

    QTimer m_timer;
    std::optional<QString> m_localVersion;
    std::optional<QString> m_expectedSHA256;
    std::optional<QString> m_expectedSignature;
    std::optional<qint64> m_expectedSize;
    QString m_downloadURLText;
    TerminateCallback m_terminateApp;
    QPointer<ReleaseDownload> m_download;
    std::chrono::milliseconds m_downloadDeadline = defaultDownloadDeadline;
    bool m_stopping = false;

    QString m_releaseHost;
    QString m_releasePublicKey;
    QString m_installPrefix;
    qint64 m_processId = 0;
};
