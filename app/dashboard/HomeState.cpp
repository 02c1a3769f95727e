#include "app/dashboard/HomeState.h"
#include "core/LifetimeGuard.h"
#include "core/AssignAndNotify.h"
#include "core/VisibleText.h"

#include "app/dashboard/AddAgentState.h"
#include "app/dashboard/ConfirmationDialogs.h"
#include "app/dashboard/McpInventory.h"
#include "app/tooling/SuggestionCount.h"
#include "app/dashboard/Uninstall.h"
#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "core/ApiUrl.h"
#include "app/tooling/CLIService.h"
#include "core/CoreConstants.h"
#include "app/tooling/DependencyService.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "app/dashboard/AddAgentState.h"
#include "app/dashboard/ConfirmationDialogs.h"
#include "app/dashboard/McpInventory.h"
#include "app/dashboard/Uninstall.h"
#include "core/UpdateCheckService.h"
#include "platform/ApplicationInstallation.h"
#include "platform/LoginItem.h"
#include "app/tooling/SuggestionCount.h"
#include "core/LogCategories.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTimer>

namespace {

bool approverOnlyMarkerExists()
{
    return QFileInfo::exists(CoreConstants::approverOnlyPath());
}

// "--version" answers at once; a tool that hangs is stopped.
// Longer version texts are not shown.
constexpr qsizetype maximumVersionLength = 64;

} // namespace

HomeState::HomeState(CLIService& cli, DependencyService& dependencies, MachineAuthService& auth,
                     QNetworkAccessManager& network, QSettings& settings,
                     ModelDownloadProgressSource* wizardDownload, QObject* history, QObject* parent)
    : QObject(parent)
    , m_cli(cli)
    , m_auth(auth)
    , m_network(network)
    , m_settings(settings)
    , m_agents(new AgentListModel(QString(), this))
    , m_quitOffer(new QuitOffer(this))
    , m_history(history)
    , m_modelRuntime(new ModelRuntimeState(cli, dependencies, wizardDownload, this))
    , m_isApproverOnly(approverOnlyMarkerExists())
{
}

HomeState::~HomeState()
{
    m_cliRuns.cancel();
}

// ---------------------------------------------------------------------------
// Agents and the approver-only marker

void HomeState::refresh()
{
    reloadAgents();
    setIsApproverOnly(approverOnlyMarkerExists());
    m_modelRuntime->refreshLLMStatus();
    loadCliVersion();
}

QCoro::Task<> HomeState::loadCliVersion()
{
    const LifetimeGuard guard(this);
    const QStringList arguments{QStringLiteral("--version")};
    const CLIResult<std::optional<QString>> result
        = co_await m_cli.runCapturingOutput(arguments, m_cliRuns, CLIRunLimits::version());
    if (!guard.alive())
        co_return;
    std::optional<QString> version;
    if (result && result.value()) {
        const QString text = result.value()->trimmed();
        if (!text.isEmpty())
            version = text.left(maximumVersionLength);
    }
    setCliVersion(version);
}

void HomeState::setUpdates(UpdateCheckService* updates)
{
    assignAndNotify(m_updates, updates, this, &HomeState::updatesChanged);
}

QObject* HomeState::updatesObject() const
{
    return m_updates.data();
}

// ---------------------------------------------------------------------------
// The add-agent sheet

void HomeState::setShowAddAgent(bool value)
{
    if (m_showAddAgent == value)
        return;
    m_showAddAgent = value;
    // A fresh sheet model each time the sheet opens; a registration still
    // running in the old one finishes on its own.
    if (m_addAgent)
        m_addAgent->deleteLater();
    m_addAgent = value ? new AddAgentState(m_cli, m_auth, this) : nullptr;
    Q_EMIT addAgentChanged();
    Q_EMIT showAddAgentChanged();
}

AddAgentState* HomeState::addAgent() const
{
    return m_addAgent.data();
}

void HomeState::finishAddAgent()
{
    reloadAgents();
    setShowAddAgent(false);
}

// ---------------------------------------------------------------------------
// Removal of one agent

void HomeState::removeAgent(const QString& name, bool removeGlobalRules)
{
    if (m_removingAgentName)
        return;
    setRemovingAgentName(name);
    setRemovalError(std::nullopt);
    runRemoval(name, removeGlobalRules);
}

QCoro::Task<> HomeState::runRemoval(QString name, bool removeGlobalRules)
{
    const LifetimeGuard guard(this);
    const QStringList arguments = Uninstall::unregisterArguments(name, removeGlobalRules);
    const int status = co_await m_cli.runDetached(arguments, m_cliRuns);
    if (!guard.alive())
        co_return;
    setRemovingAgentName(std::nullopt);
    if (status == Uninstall::statusRemoved)
        reloadAgents();
    else
        setRemovalError(tr("Removal of \"%1\" failed or was denied.").arg(name));
}

QVariantMap HomeState::removeConfirmation(const QString& name) const
{
    return ConfirmationDialogs::removal(name, int(agents().size()));
}

// ---------------------------------------------------------------------------
// Uninstall and leaving

void HomeState::uninstall(bool removeGlobalRules)
{
    // One uninstall per process: there is no way back to the dashboard.
    if (m_isUninstalling)
        return;
    if (m_platform.loginItem) {
        if (const std::optional<QString> error = m_platform.loginItem->unregisterItem())
            qCWarning(lcDashboard).noquote() << QStringLiteral("Quorvane: login item not removed: ") + *error;
    }
    setIsUninstalling(true);
    setUninstallComplete(false);
    setUninstallReport({});
    QStringList names;
    for (const AgentInfo& agent : agents())
        names << agent.name;
    runUninstall(names, removeGlobalRules);
}

QCoro::Task<> HomeState::runUninstall(QStringList agentNames, bool removeGlobalRules)
{
    const LifetimeGuard guard(this);
    const QStringList cliPaths = m_platform.cliBinaryPath.isEmpty()
        ? CLIService::installedLocations()
        : QStringList { m_platform.cliBinaryPath };
    const Uninstall::Services services { m_cli, m_auth, m_network, m_settings, m_platform.desktop,
        m_platform.notifier, cliPaths, CoreConstants::quorvaneDirectory(), m_cliRuns, m_platform.runtimeServer,
        m_platform.dpkg };
    const std::function<void(const QString&)> onStatus = [this, guard](const QString& status) {
        if (guard.alive())
            setUninstallStatus(status);
    };
    const QStringList report = co_await Uninstall::run(services, agentNames, removeGlobalRules, onStatus);
    if (!guard.alive())
        co_return;
    setUninstallReport(report);
    setUninstallComplete(true);
}

void HomeState::skipUnregistering()
{
    if (m_isUninstalling)
        m_cliRuns.cancel();
}

QVariantMap HomeState::uninstallConfirmation() const
{
    return ConfirmationDialogs::uninstall(int(agents().size()));
}

void HomeState::terminate()
{
    if (m_platform.terminate)
        m_platform.terminate();
}

void HomeState::quit()
{
    terminate();
}

void HomeState::deleteAppAndQuit()
{
    ApplicationInstallation* installation = m_platform.installation;
    if (installation && !installation->isUserLocal()) {
        // Not ours to delete: the person is told how, and quits when ready.
        setAppRemovalAdvice(installation->removalAdvice());
        return;
    }
    if (installation) {
        if (const std::optional<QString> error = installation->moveToTrash())
            qCWarning(lcDashboard).noquote()
                << QStringLiteral("Quorvane: the program was not moved to the trash: ") + *error;
    }
    terminate();
}

void HomeState::reloadAgents()
{
    m_agents->reload();
}

// ---------------------------------------------------------------------------
// Activity analysis

void HomeState::startAnalysis()
{
    if (m_analysisRunning)
        return;
    setAnalysisRunning(true);
    setAnalysisSuggestionCount(std::nullopt);
    const CLICancelToken cancel;
    m_analysisTask = cancel;
    runAnalysis(++m_analysisGeneration, cancel);
}

void HomeState::cancelAnalysis()
{
    if (m_analysisTask)
        m_analysisTask->cancel();
    m_analysisTask.reset();
    setAnalysisRunning(false);
}

QCoro::Task<> HomeState::runAnalysis(quint64 analysis, CLICancelToken cancel)
{
    const LifetimeGuard guard(this);
    MachineAuthService& auth = m_auth;
    QNetworkAccessManager& network = m_network;
    QStringList arguments;
    arguments << QStringLiteral("analyze-history");
    CLIService::EventHandler onEvent = [this, guard, cancel](const CLIEvent& event) {
        if (guard.alive() && !cancel.isCancelled())
            applyAnalysisEvent(event);
    };
    const CLIResult<void> result = co_await m_cli.run(std::move(arguments), QString(), std::move(onEvent), cancel);
    if (!guard.alive())
        co_return;
    if (!result && result.error().kind() != CLIError::Kind::cancelled)
        qCWarning(lcDashboard).noquote()
            << QStringLiteral("Quorvane: activity analysis failed: ") + result.error().description();

    // Whether the run succeeded, failed or was cancelled, the tool may have
    // written a new inventory.
    co_await syncMcpServers(auth, network);
    if (!guard.alive())
        co_return;
    // A newer analysis started after this one was cancelled is not ours to end.
    if (m_analysisGeneration != analysis)
        co_return;
    m_analysisTask.reset();
    setAnalysisRunning(false);
}

void HomeState::applyAnalysisEvent(const CLIEvent& event)
{
    if (event.type != QLatin1String("suggestion_count") || !event.data)
        return;
    const auto count = event.data->constFind(QStringLiteral("count"));
    if (count == event.data->constEnd())
        return;
    setAnalysisSuggestionCount(SuggestionCount::parse(*count));
}

// ---------------------------------------------------------------------------
// Back-end syncs

QCoro::Task<bool> HomeState::syncMcpServers(MachineAuthService& auth, QNetworkAccessManager& network)
{
    const std::optional<QByteArray> contents = McpInventory::readFile(CoreConstants::mcpServersPath());
    if (!contents)
        co_return false;
    const std::optional<QByteArray> body = McpInventory::syncBody(*contents);
    if (!body)
        co_return false;
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/mcp-servers/sync"));
    if (!url.isValid())
        co_return false;
    const std::optional<SignedRequest> request = auth.signedPOSTRequest(url, *body);
    if (!request)
        co_return false;
    // The answer is not looked at; only local values are used after the wait.
    co_await Http::send(network, *request);
    co_return true;
}

QCoro::Task<bool> HomeState::syncMcpServers()
{
    return syncMcpServers(m_auth, m_network);
}

QByteArray HomeState::preferenceBody(bool enabled)
{
    return enabled ? QByteArrayLiteral("{\"mcp_llm_summary\":true}") : QByteArrayLiteral("{\"mcp_llm_summary\":false}");
}

QCoro::Task<bool> HomeState::syncMcpSummaryPreference()
{
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/users/preferences"));
    if (!url.isValid())
        co_return false;
    const std::optional<SignedRequest> request = m_auth.signedPUTRequest(url, preferenceBody(mcpLlmSummary()));
    if (!request)
        co_return false;
    QNetworkAccessManager& network = m_network;
    co_await Http::send(network, *request);
    co_return true;
}

QCoro::Task<> HomeState::sendPreferenceUntilSettled()
{
    if (m_preferenceSyncRunning) {
        m_preferenceSyncPending = true;
        co_return;
    }
    const LifetimeGuard guard(this);
    m_preferenceSyncRunning = true;
    do {
        m_preferenceSyncPending = false;
        co_await syncMcpSummaryPreference();
        if (!guard.alive())
            co_return;
    } while (m_preferenceSyncPending);
    m_preferenceSyncRunning = false;
}

bool HomeState::mcpLlmSummary() const
{
    const QVariant stored = m_settings.value(QLatin1String(mcpLlmSummaryKey));
    // QSettings gives text back from INI files; anything but a true Boolean
    // (or its text) counts as off.
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    return stored.typeId() == QMetaType::QString && stored.toString() == QLatin1String("true");
}

void HomeState::setMcpLlmSummary(bool value)
{
    if (mcpLlmSummary() == value)
        return;
    m_settings.setValue(QLatin1String(mcpLlmSummaryKey), value);
    m_settings.sync();
    Q_EMIT mcpLlmSummaryChanged();
    sendPreferenceUntilSettled();
}

// ---------------------------------------------------------------------------
// Published values

namespace {

QVariant optionalValue(const std::optional<QString>& value)
{
    return value ? QVariant(*value) : QVariant();
}

} // namespace

QVariant HomeState::analysisSuggestionCountValue() const
{
    return m_analysisSuggestionCount ? QVariant(*m_analysisSuggestionCount) : QVariant();
}

QString HomeState::appVersion() const
{
    return m_updates ? m_updates->ownVersion()
                     : UpdateCheckService::ownVersion(UpdateCheckService::defaultInstallPrefix());
}

QVariant HomeState::cliVersionValue() const
{
    return optionalValue(m_cliVersion);
}

QVariant HomeState::removingAgentNameValue() const
{
    return optionalValue(m_removingAgentName);
}

QVariant HomeState::removalErrorValue() const
{
    return m_removalError ? QVariant(visibleText(*m_removalError)) : QVariant();
}

QString HomeState::analysisSubtitle() const
{
    if (!m_analysisSuggestionCount)
        return tr("Scan tool history for rule suggestions");
    if (*m_analysisSuggestionCount == 1)
        return tr("1 suggestion found");
    return tr("%1 suggestions found").arg(*m_analysisSuggestionCount);
}

QString HomeState::percentText(double fraction)
{
    // The whole part, so that a download at 0.999 does not claim 100%.
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    return QString::number(qint64(std::floor(clamped * 100.0))) + QLatin1Char('%');
}

void HomeState::setAnalysisRunning(bool value)
{
    assignAndNotify(m_analysisRunning, value, this, &HomeState::analysisRunningChanged);
}

void HomeState::setIdentityRefused(bool value)
{
    assignAndNotify(m_identityRefused, value, this, &HomeState::identityRefusedChanged);
}

void HomeState::setAutoOpenPaused(bool value)
{
    assignAndNotify(m_autoOpenPaused, value, this, &HomeState::autoOpenPausedChanged);
}

void HomeState::setAnalysisSuggestionCount(const std::optional<qint64>& value)
{
    assignAndNotify(m_analysisSuggestionCount, value, this, &HomeState::analysisSuggestionCountChanged);
}

void HomeState::setIsApproverOnly(bool value)
{
    assignAndNotify(m_isApproverOnly, value, this, &HomeState::isApproverOnlyChanged);
}

void HomeState::setCliVersion(const std::optional<QString>& value)
{
    assignAndNotify(m_cliVersion, value, this, &HomeState::cliVersionChanged);
}

void HomeState::setRemovingAgentName(const std::optional<QString>& value)
{
    assignAndNotify(m_removingAgentName, value, this, &HomeState::removingAgentNameChanged);
}

void HomeState::setRemovalError(const std::optional<QString>& value)
{
    assignAndNotify(m_removalError, value, this, &HomeState::removalErrorChanged);
}

void HomeState::setIsUninstalling(bool value)
{
    assignAndNotify(m_isUninstalling, value, this, &HomeState::isUninstallingChanged);
}

void HomeState::setUninstallComplete(bool value)
{
    assignAndNotify(m_uninstallComplete, value, this, &HomeState::uninstallCompleteChanged);
}

void HomeState::setUninstallStatus(const QString& value)
{
    assignAndNotify(m_uninstallStatus, value, this, &HomeState::uninstallStatusChanged);
}

void HomeState::setUninstallReport(const QStringList& value)
{
    assignAndNotify(m_uninstallReport, value, this, &HomeState::uninstallReportChanged);
}

void HomeState::setAppRemovalAdvice(const QString& value)
{
    assignAndNotify(m_appRemovalAdvice, value, this, &HomeState::appRemovalAdviceChanged);
}
