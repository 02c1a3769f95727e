#include "app/dashboard/ModelRuntimeState.h"

#include "core/LifetimeGuard.h"
#include "core/AssignAndNotify.h"
#include "app/tooling/CLIEvent.h"
#include "app/tooling/CLIProcess.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "core/LogCategories.h"

ModelRuntimeState::ModelRuntimeState(CLIService& cli, DependencyService& dependencies,
                                     ModelDownloadProgressSource* wizardDownload, QObject* parent)
    : QObject(parent), m_cli(cli), m_dependencies(dependencies), m_wizardDownload(wizardDownload)
{
    for (auto changed : {&ModelRuntimeState::ollamaInstalledChanged, &ModelRuntimeState::gemmaInstalledChanged,
                         &ModelRuntimeState::llmInstallingChanged})
        connect(this, changed, this, &ModelRuntimeState::modelMissingReasonChanged);
}

ModelRuntimeState::~ModelRuntimeState() = default;

QCoro::Task<> ModelRuntimeState::refreshLLMStatus()
{
    const quint64 generation = ++m_llmStatusGeneration;
    if (m_wizardDownload && m_wizardDownload->llmDownloading() && !m_wizardDownload->llmDownloadComplete()) {
        setOllamaInstalled(true);
        setGemmaInstalled(false);
        setLlmInstalling(true);
        setLlmProgress(qBound(0.0, m_wizardDownload->llmDownloadProgress(), 1.0));
        mirrorWizardDownload();
        co_return;
    }

    const bool ollama = m_dependencies.isOllamaInstalled();
    setOllamaInstalled(ollama);
    if (!ollama) {
        setGemmaInstalled(false);
        co_return;
    }
    const LifetimeGuard guard(this);
    const bool gemma = co_await m_dependencies.isGemmaInstalled();
    if (!guard.alive() || m_llmStatusGeneration != generation)
        co_return;
    setGemmaInstalled(gemma);
}

void ModelRuntimeState::mirrorWizardDownload()
{
    dropWizardDownloadMirror();
    ModelDownloadProgressSource* source = m_wizardDownload.data();
    // Connections made with this object as context go away with it, so they
    // never reach a dashboard that is gone.
    m_wizardDownloadConnections.append(
        connect(source, &ModelDownloadProgressSource::llmDownloadProgressChanged, this, [this, source] {
            setLlmProgress(qBound(0.0, source->llmDownloadProgress(), 1.0));
        }));
    m_wizardDownloadConnections.append(
        connect(source, &ModelDownloadProgressSource::llmDownloadCompleteChanged, this, [this, source] {
            if (!source->llmDownloadComplete())
                return;
            ++m_llmStatusGeneration;
            setLlmInstalling(false);
            setGemmaInstalled(true);
            dropWizardDownloadMirror();
        }));
    m_wizardDownloadConnections.append(
        connect(source, &ModelDownloadProgressSource::llmDownloadingChanged, this, [this, source] {
            if (source->llmDownloading())
                return;
            if (!source->llmDownloadComplete())
                setLlmInstalling(false);
            dropWizardDownloadMirror();
        }));
    // A source that goes away ends its download as far as we can tell.
    m_wizardDownloadConnections.append(connect(source, &QObject::destroyed, this, [this] {
        setLlmInstalling(false);
        dropWizardDownloadMirror();
    }));
}

void ModelRuntimeState::dropWizardDownloadMirror()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_wizardDownloadConnections))
        disconnect(connection);
    m_wizardDownloadConnections.clear();
}

// The runtime installed from the dashboard

QString ModelRuntimeState::runtimeBlockedReason() const
{
    return m_dependencies.installBlockedReason().value_or(QString());
}

QString ModelRuntimeState::modelMissingReason() const
{
    if (m_gemmaInstalled)
        return {};
    if (m_llmInstalling)
        return tr("Available once the download finishes");
    if (m_ollamaInstalled)
        return tr("Download the local AI model first");
    return tr("Needs the local AI model");
}

void ModelRuntimeState::installRuntime()
{
    runRuntimeInstall();
}

QCoro::Task<> ModelRuntimeState::runRuntimeInstall()
{
    if (m_runtimeInstalling)
        co_return;
    setRuntimeInstalling(true);
    setRuntimeError(QString());
    const LifetimeGuard guard(this);
    QCoro::Task<CLIResult<DependencyStatus>> installing = m_dependencies.installOllamaIfMissing({});
    const CLIResult<DependencyStatus> installed = co_await std::move(installing);
    if (!guard.alive())
        co_return;
    setRuntimeInstalling(false);
    setOllamaInstalled(m_dependencies.isOllamaInstalled());
    if (!installed || installed.value() != DependencyStatus::installed()) {
        setRuntimeError(installed ? installed.value().message() : installed.error().description());
        co_return;
    }
    installModel();
}

// Our own model download

void ModelRuntimeState::installModel()
{
    if (m_llmInstalling)
        return;
    setLlmInstalling(true);
    setLlmProgress(0.0);
    runModelDownload(++m_downloadGeneration);
}

QCoro::Task<> ModelRuntimeState::runModelDownload(quint64 download)
{
    m_downloadSettled = false;
    const LifetimeGuard guard(this);
    // Arguments and handler are built outside the co_await expression: GCC 12
    // miscompiles braced lists and temporaries there.
    QStringList arguments;
    arguments << QStringLiteral("download-model") << QStringLiteral("--wizard");
    CLIService::EventHandler onEvent = [this, guard, download](const CLIEvent& event) {
        if (guard.alive())
            applyDownloadEvent(download, event);
    };
    CLIResult<std::shared_ptr<CLIProcess>> started = co_await m_cli.start(std::move(arguments), std::move(onEvent));
    if (!guard.alive() || m_downloadGeneration != download)
        co_return;
    if (!started) {
        qCWarning(lcDashboard).noquote()
            << QStringLiteral("Quorvane: model download could not start: ") + started.error().description();
        downloadEnded(download);
        co_return;
    }
    // The handle is kept: letting it go would stop the download.
    m_modelDownload = std::move(started.value());
    CLIProcess* process = m_modelDownload.get();
    connect(process, &CLIProcess::finished, this, [this, download] { downloadEnded(download); });
    if (process->isFinished())
        downloadEnded(download);
}

void ModelRuntimeState::applyDownloadEvent(quint64 download, const CLIEvent& event)
{
    if (download != m_downloadGeneration || m_downloadSettled)
        return;
    if (event.progress)
        setLlmProgress(qBound(0.0, *event.progress, 1.0));
    if (event.type == QLatin1String("complete")) {
        m_downloadSettled = true;
        ++m_llmStatusGeneration;
        setLlmInstalling(false);
        setGemmaInstalled(true);
    } else if (event.type == QLatin1String("error")) {
        m_downloadSettled = true;
        setLlmInstalling(false);
    }
}

void ModelRuntimeState::downloadEnded(quint64 download)
{
    if (download != m_downloadGeneration || m_downloadSettled)
        return;
    // The tool ended (or never started) without saying how the download went:
    // it is not running any more, so "Download" must be offered again.
    m_downloadSettled = true;
    setLlmInstalling(false);
}

void ModelRuntimeState::setOllamaInstalled(bool value)
{
    assignAndNotify(m_ollamaInstalled, value, this, &ModelRuntimeState::ollamaInstalledChanged);
}

void ModelRuntimeState::setGemmaInstalled(bool value)
{
    assignAndNotify(m_gemmaInstalled, value, this, &ModelRuntimeState::gemmaInstalledChanged);
}

void ModelRuntimeState::setLlmInstalling(bool value)
{
    assignAndNotify(m_llmInstalling, value, this, &ModelRuntimeState::llmInstallingChanged);
}

void ModelRuntimeState::setLlmProgress(double value)
{
    assignAndNotify(m_llmProgress, value, this, &ModelRuntimeState::llmProgressChanged);
}

void ModelRuntimeState::setRuntimeInstalling(bool value)
{
    assignAndNotify(m_runtimeInstalling, value, this, &ModelRuntimeState::runtimeInstallingChanged);
}

void ModelRuntimeState::setRuntimeError(const QString& value)
{
    assignAndNotify(m_runtimeError, value, this, &ModelRuntimeState::runtimeErrorChanged);
}
