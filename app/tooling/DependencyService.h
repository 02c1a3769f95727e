#pragma once

#include "app/tooling/CLIError.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyStatus.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <qcorotask.h>

#include <functional>
#include <memory>

// Installs the local model runtime (Ollama) when it is missing and tells
// whether it and the Gemma model are present. The runtime maker's Linux archive
// is downloaded into a private folder (0700, removed with this object) and
// checked against the digest pinned in the build. The privileged command then
// copies it into a root-owned temporary folder, checks the digest of that copy
// again, unpacks it there and installs only from it: a same-user process that
// swaps the downloaded file while the password prompt is open gains nothing.
//
// One download at a time: a second download while one runs fails at once.
class DependencyService : public QObject
{
    Q_OBJECT
public:
    using ProgressHandler = std::function<void(double fraction)>;
    using StatusHandler = std::function<void(const DependencyStatus& status)>;

    DependencyService(QNetworkAccessManager* network, CLIService* cli, QObject* parent = nullptr);
    ~DependencyService() override;

    // The archive's address: BuildConfig::ollamaURL unless replaced (tests).
    QUrl ollamaArchiveURL() const { return m_archiveURL; }
    void setOllamaArchiveURL(const QUrl& url) { m_archiveURL = url; }
    // The archive's SHA-256 (64 lower-case hex digits): BuildConfig::ollamaSHA256
    // unless replaced (tests). Without a valid digest nothing is installed.
    QString ollamaArchiveSHA256() const { return m_archiveSHA256; }
    void setOllamaArchiveSHA256(const QString& digest) { m_archiveSHA256 = digest; }
    // Folders searched for the "ollama" command: /usr/local/bin and /usr/bin.
    QStringList knownPaths() const { return m_knownPaths; }
    void setKnownPaths(const QStringList& paths) { m_knownPaths = paths; }
    // The commands asked for the model list, first executable wins:
    // /usr/local/bin/ollama only (a packaged runtime in /usr/bin is not asked).
    QStringList modelQueryCommands() const { return m_modelQueryCommands; }
    void setModelQueryCommands(const QStringList& commands) { m_modelQueryCommands = commands; }
    // Where the runtime is installed: <prefix>/bin/ollama and <prefix>/lib/ollama.
    QString installPrefix() const { return m_installPrefix; }
    void setInstallPrefix(const QString& prefix) { m_installPrefix = prefix; }
    // How long "ollama list" may take before it counts as "no model".
    void setModelQueryTimeout(int milliseconds) { m_modelQueryTimeout = milliseconds; }

    // True when <known path>/ollama is an executable file for any known path.
    bool isOllamaInstalled() const;
    // Whether the runtime's "list" output names a model containing "gemma".
    QCoro::Task<bool> isGemmaInstalled();

    // Downloads url into the private folder as fileName (a plain name) and
    // returns the stored file's path. onProgress gets fractions only when the
    // server announces the size. Anything but status 200 fails with "Download
    // failed: bad status" and leaves no file.
    QCoro::Task<CLIResult<QString>> download(QUrl url, QString fileName, ProgressHandler onProgress);
    bool isDownloading() const { return m_reply != nullptr; }
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

    // The privileged command line installOllama() runs.
    QString privilegedInstallCommand(const QString& archivePath) const;

    // The whole install as the install screen shows it: installed at once when
    // present; else downloading(fraction) from 0, installing, then installed or
    // failed(message). onStatus sees every change; the last one is returned.
    QCoro::Task<DependencyStatus> installOllamaIfMissing(StatusHandler onStatus);

    // The private folder (created on first use), or empty when it cannot be made.
    QString workDirectory();

private:
    void removeOwnFile(const QString& path) const;

    QPointer<QNetworkAccessManager> m_network;
    QPointer<CLIService> m_cli;
    std::unique_ptr<QTemporaryDir> m_workDir;
    QPointer<QNetworkReply> m_reply;
    QString m_archivePath;
    QUrl m_archiveURL;
    QString m_archiveSHA256;
    QStringList m_knownPaths;
    QStringList m_modelQueryCommands;
    QString m_installPrefix;
    int m_modelQueryTimeout = 30000;
};
