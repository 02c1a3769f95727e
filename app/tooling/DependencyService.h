#pragma once

#include "CLIError.h"
#include "CLIService.h"
#include "DependencyStatus.h"

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
// is downloaded into a private folder (0700, removed with this object),
// unpacked there with tar and copied into place with administrator rights.
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
    // Unpacks the archive into the private folder and returns the unpacked
    // folder, which holds bin/ollama (and usually lib/ollama).
    QCoro::Task<CLIResult<QString>> unpackOllama(QString archivePath);
    // Deletes the downloaded archive, copies the unpacked runtime into place
    // with administrator rights and deletes the unpacked folder (only when it
    // lies in this service's private folder). A refused or
    // failed copy is an error; otherwise the answer is installed, or
    // failed("Ollama not found after install") when the command is still missing.
    QCoro::Task<CLIResult<DependencyStatus>> installOllama(QString unpackedPath);

    // The whole install as the install screen shows it: installed at once when
    // present; else downloading(fraction) from 0, installing, then installed or
    // failed(message). onStatus sees every change; the last one is returned.
    QCoro::Task<DependencyStatus> installOllamaIfMissing(StatusHandler onStatus);

    // The private folder (created on first use), or empty when it cannot be made.
    QString workDirectory();

private:
    QPointer<QNetworkAccessManager> m_network;
    QPointer<CLIService> m_cli;
    std::unique_ptr<QTemporaryDir> m_workDir;
    QPointer<QNetworkReply> m_reply;
    QString m_archivePath;
    QUrl m_archiveURL;
    QStringList m_knownPaths;
    QStringList m_modelQueryCommands;
    QString m_installPrefix;
    int m_modelQueryTimeout = 30000;
};
