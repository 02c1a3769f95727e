#pragma once

#include "app/tooling/ModelDownloadProgressSource.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QtQmlIntegration/qqmlintegration.h>

#include <qcorotask.h>

#include <memory>

struct CLIEvent;
class CLIProcess;
class CLIService;
class DependencyService;

// The local AI model as the dashboard shows it: whether the model runtime and
// the model are installed, and the model download (ours, or the wizard's,
// which it follows). Everything happens on the main thread.
class ModelRuntimeState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the home state")
    Q_PROPERTY(bool ollamaInstalled READ ollamaInstalled NOTIFY ollamaInstalledChanged)
    Q_PROPERTY(bool gemmaInstalled READ gemmaInstalled NOTIFY gemmaInstalledChanged)
    Q_PROPERTY(bool llmInstalling READ llmInstalling NOTIFY llmInstallingChanged)
    Q_PROPERTY(double llmProgress READ llmProgress NOTIFY llmProgressChanged)
    // Why this build cannot install the missing runtime; empty when it can (or
    // when the runtime is there).
    Q_PROPERTY(QString runtimeBlockedReason READ runtimeBlockedReason NOTIFY ollamaInstalledChanged)
    // The runtime's install from the dashboard: running, and its last failure.
    Q_PROPERTY(bool runtimeInstalling READ runtimeInstalling NOTIFY runtimeInstallingChanged)
    Q_PROPERTY(QString runtimeError READ runtimeError NOTIFY runtimeErrorChanged)
    // Why what needs the model (the MCP summaries) cannot be turned on yet;
    // empty once the model is installed.
    Q_PROPERTY(QString modelMissingReason READ modelMissingReason NOTIFY modelMissingReasonChanged)

public:
    // wizardDownload: the wizard's model download, mirrored by
    // refreshLLMStatus(); may be null.
    ModelRuntimeState(CLIService& cli, DependencyService& dependencies,
                      ModelDownloadProgressSource* wizardDownload = nullptr, QObject* parent = nullptr);
    ~ModelRuntimeState() override;

    bool ollamaInstalled() const { return m_ollamaInstalled; }
    bool gemmaInstalled() const { return m_gemmaInstalled; }
    bool llmInstalling() const { return m_llmInstalling; }
    double llmProgress() const { return m_llmProgress; }
    QString runtimeBlockedReason() const;
    bool runtimeInstalling() const { return m_runtimeInstalling; }
    QString runtimeError() const { return m_runtimeError; }
    QString modelMissingReason() const;

    // Sets ollamaInstalled, gemmaInstalled and, while the wizard downloads the
    // model, llmInstalling and llmProgress, which then follow the wizard's
    // download until it ends. Otherwise the runtime and model are looked up;
    // an answer overtaken by a later refresh or by a finished download is
    // dropped.
    QCoro::Task<> refreshLLMStatus();
    bool isMirroringWizardDownload() const { return !m_wizardDownloadConnections.isEmpty(); }

    // "Download": starts the tool's model download unless one is running.
    Q_INVOKABLE void installModel();
    // "Install": the runtime the wizard could not install (or was not asked
    // to), then the model download. Ignored while it runs.
    Q_INVOKABLE void installRuntime();
    QCoro::Task<> runRuntimeInstall();

Q_SIGNALS:
    void ollamaInstalledChanged();
    void gemmaInstalledChanged();
    void llmInstallingChanged();
    void llmProgressChanged();
    void runtimeInstallingChanged();
    void runtimeErrorChanged();
    void modelMissingReasonChanged();

private:
    void setOllamaInstalled(bool value);
    void setGemmaInstalled(bool value);
    void setLlmInstalling(bool value);
    void setLlmProgress(double value);
    void setRuntimeInstalling(bool value);
    void setRuntimeError(const QString& value);

    void mirrorWizardDownload();
    void dropWizardDownloadMirror();

    QCoro::Task<> runModelDownload(quint64 download);
    void applyDownloadEvent(quint64 download, const CLIEvent& event);
    void downloadEnded(quint64 download);

    CLIService& m_cli;
    DependencyService& m_dependencies;
    QPointer<ModelDownloadProgressSource> m_wizardDownload;

    bool m_ollamaInstalled = false;
    bool m_gemmaInstalled = false;
    bool m_llmInstalling = false;
    double m_llmProgress = 0.0;
    bool m_runtimeInstalling = false;
    QString m_runtimeError;
    // Subscriptions that mirror a model download started by the wizard.
    QList<QMetaObject::Connection> m_wizardDownloadConnections;

    // Bumped by every refresh and by every settled download, so that a model
    // lookup answering late cannot undo a newer state.
    quint64 m_llmStatusGeneration = 0;
    // Our own model download: its process (destroying the handle would stop
    // it), which download it is, and whether it told how it ended.
    std::shared_ptr<CLIProcess> m_modelDownload;
    quint64 m_downloadGeneration = 0;
    bool m_downloadSettled = false;
};
