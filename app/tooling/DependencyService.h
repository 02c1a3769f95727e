#pragma once

#include "app/tooling/CLIError.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyStatus.h"
#include "core/ReleaseDownload.h"
#include "platform/PrivilegedRunner.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ModelRuntimeServer;

// Installs the local model runtime (Ollama) when it is missing and tells
// whether it and the Gemma model are present. The runtime maker's Linux archive
// is downloaded into a private folder (0700, removed with this object) and
// checked against the digest pinned in the build. The privileged command then
// copies it into a root-owned temporary folder, checks the digest of that copy
// again, unpacks it there and installs only from it: a same-user process that
// swaps the downloaded file while the password prompt is open gains nothing.
//
// The archive is the one for the machine's architecture (amd64 or arm64); on
// any other machine the download fails with a message that says so. Once
// installed, the runtime's server is started (ModelRuntimeServer) so that its
// commands find it.
//
// One download at a time: a second download while one runs fails at once.
class DependencyService : public QObject
{
    Q_OBJECT
public:
    using ProgressHandler = std::function<void(double fraction)>;
    using StatusHandler = std::function<void(const DependencyStatus& status)>;

    // runtimeServer: what starts the runtime's server after installing; none: not started.
    DependencyService(QNetworkAccessManager* network, CLIService* cli, ModelRuntimeServer* runtimeServer = nullptr,
                      QObject* parent = nullptr);
    ~DependencyService() override;

    static constexpr qint64 defaultMaximumArchiveSize = qint64(4) * 1024 * 1024 * 1024;
    static constexpr std::chrono::milliseconds defaultArchiveDeadline{std::chrono::hours(2)};
    // The largest archive accepted and the time its whole download may take.
    void setDownloadLimits(qint64 maximumSize, std::chrono::milliseconds deadline)
    {
        m_maximumArchiveSize = maximumSize;
        m_archiveDeadline = deadline;
    }

    // The runtime's name for a CPU architecture as QSysInfo names it ("x86_64"
    // is "amd64", "arm64" and "aarch64" are "arm64"); none when the runtime
    // is not made for it.
    static std::optional<QString> runtimeArchitecture(const QString& cpuArchitecture);
    // The machine's architecture (QSysInfo::currentCpuArchitecture() unless
    // replaced); setting it picks the build's address and digest for it again.
    QString machineArchitecture() const { return m_machineArchitecture; }
    void setMachineArchitecture(const QString& cpuArchitecture);

    // The archive's address: BuildConfig::ollamaURL for the machine's
    // architecture unless replaced (tests); empty on an unsupported machine.
    QUrl ollamaArchiveURL() const { return m_archiveURL; }
    void setOllamaArchiveURL(const QUrl& url) { m_archiveURL = url; }
    // The archive's SHA-256 (64 lower-case hex digits): the build's digest for
    // the machine's architecture unless replaced (tests, and in builds with
    // development overrides QUORVANE_OLLAMA_URL and QUORVANE_OLLAMA_SHA256).
    // Without a valid digest nothing is downloaded or installed.
    QString ollamaArchiveSHA256() const { return m_archiveSHA256; }
    void setOllamaArchiveSHA256(const QString& digest) { m_archiveSHA256 = digest; }
    // Folders searched for the "ollama" command after <installPrefix>/bin:
    // /usr/local/bin, /usr/bin, then the folders of PATH.
    QStringList knownPaths() const { return m_knownPaths; }
    void setKnownPaths(const QStringList& paths) { m_knownPaths = paths; }
    // Where the runtime is installed: <prefix>/bin/ollama and <prefix>/lib/ollama.
    QString installPrefix() const { return m_installPrefix; }
    void setInstallPrefix(const QString& prefix) { m_installPrefix = prefix; }
    // How long "ollama list" may take before it counts as "no model".
    void setModelQueryTimeout(int milliseconds) { m_modelQueryTimeout = milliseconds; }

    // True when ollamaCommand() finds the runtime.
    bool isOllamaInstalled() const { return !ollamaCommand().isEmpty(); }
    // The first executable file "ollama" in <installPrefix>/bin, where the
    // install puts it, or in a known path; else empty.
    QString ollamaCommand() const;
    // Whether that runtime's "list" output names a model containing "gemma".
    QCoro::Task<bool> isGemmaInstalled();
    // Why this build cannot install a missing runtime, known before anything
    // is downloaded: no archive for the machine's architecture, or no pinned
    // digest. Nothing when the runtime is present or can be installed.
    std::optional<QString> installBlockedReason() const;

    // Downloads url into the private folder as fileName (a plain name) and
    // returns the stored file's path. onProgress gets fractions only when the
    // server announces the size. Anything but status 200 fails with "Download
    // failed: bad status" and leaves no file; so does a body larger than the
    // size limit or a download that outlasts the deadline (with their own
    // messages).
    QCoro::Task<CLIResult<QString>> download(QUrl url, QString fileName, ProgressHandler onProgress);
    bool isDownloading() const { return m_download != nullptr; }
    // Aborts the running download; its caller gets CLIError::cancelled().
    void cancelDownload();

    // download() of the runtime archive, named after the address's last part.
    QCoro::Task<CLIResult<QString>> downloadOllama(ProgressHandler onProgress);
    // Checks the archive against the pinned digest, then with administrator
    // rights copies it into a root-owned folder, checks that copy, unpacks it
    // there and installs bin/ollama (and lib/ollama when present) from it. The
    // archive is deleted afterwards when it lies in this service's private
    // folder. A refused or failed command is an error; otherwise the answer is
    // installed, or failed("Ollama not found after install") when the command
    // is still missing.
    QCoro::Task<CLIResult<DependencyStatus>> installOllama(QString archivePath);

    // The privileged command installOllama() runs.
    PrivilegedRunner::Command privilegedInstallCommand(const QString& archivePath) const;

    // The whole install as the install screen shows it: when present, installed
    // at once; else downloading(fraction) from 0, installing, then installed or
    // failed(message). Then the server is started: while it comes up the status
    // is installing, and one that never answers is failed(why). onStatus sees
    // every change. A failed download or install is the error (the install
    // stops there); the value is the last status, where failed means the
    // runtime is unusable but the install may go on.
    QCoro::Task<CLIResult<DependencyStatus>> installOllamaIfMissing(StatusHandler onStatus);

    // The private folder (created on first use), or empty when it cannot be made.
    QString workDirectory();

private:
    void removeOwnFile(const QString& path) const;
    QCoro::Task<DependencyStatus> serve(StatusHandler onStatus);

    QPointer<QNetworkAccessManager> m_network;
    QPointer<CLIService> m_cli;
    QPointer<ModelRuntimeServer> m_server;
    std::unique_ptr<QTemporaryDir> m_workDir;
    QPointer<ReleaseDownload> m_download;
    QString m_machineArchitecture;
    QString m_archivePath;
    QUrl m_archiveURL;
    QString m_archiveSHA256;
    QStringList m_knownPaths;
    QString m_installPrefix;
    int m_modelQueryTimeout = 30000;
    qint64 m_maximumArchiveSize = defaultMaximumArchiveSize;
    std::chrono::milliseconds m_archiveDeadline = defaultArchiveDeadline;
};
