#include "app/dashboard/HomeState.h"

#include "core/ApiUrl.h"
#include "app/tooling/CLIService.h"
#include "core/CoreConstants.h"
#include "app/tooling/DependencyService.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "app/dashboard/McpInventory.h"
#include "app/dashboard/SuggestionCount.h"
#include "core/LogCategories.h"
#include "core/SystemLog.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSettings>

namespace {

bool approverOnlyMarkerExists()
{
    return QFileInfo::exists(CoreConstants::approverOnlyPath());
}

} // namespace

HomeState::HomeState(CLIService& cli, DependencyService& dependencies, MachineAuthService& auth,
                     QNetworkAccessManager& network, QSettings& settings,
                     ModelDownloadProgressSource* wizardDownload, QObject* parent)
    : QObject(parent)
    , m_cli(cli)
    , m_auth(auth)
    , m_network(network)
    , m_settings(settings)
    , m_agents(new AgentListModel(QString(), this))
    , m_modelRuntime(new ModelRuntimeState(cli, dependencies, wizardDownload, this))
    , m_isApproverOnly(approverOnlyMarkerExists())
{
}

HomeState::~HomeState() = default;

// ---------------------------------------------------------------------------
// Agents and the approver-only marker

void HomeState::refresh()
{
    reloadAgents();
    setIsApproverOnly(approverOnlyMarkerExists());
    m_modelRuntime->refreshLLMStatus();
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
    const QPointer<HomeState> self(this);
    MachineAuthService& auth = m_auth;
    QNetworkAccessManager& network = m_network;
    QStringList arguments;
    arguments << QStringLiteral("analyze-history");
    CLIService::EventHandler onEvent = [self, cancel](const CLIEvent& event) {
        if (self && !cancel.isCancelled())
            self->applyAnalysisEvent(event);
    };
    const CLIResult<void> result = co_await m_cli.run(std::move(arguments), QString(), std::move(onEvent), cancel);
    if (!self)
        co_return;
    if (!result && result.error().kind() != CLIError::Kind::cancelled)
        SystemLog::write(lcDashboard(), QStringLiteral("Quorvane: activity analysis failed: ") + result.error().description());

    // Whether the run succeeded, failed or was cancelled, the tool may have
    // written a new inventory.
    co_await syncMcpServers(auth, network);
    if (!self)
        co_return;
    // A newer analysis started after this one was cancelled is not ours to end.
    if (self->m_analysisGeneration != analysis)
        co_return;
    self->m_analysisTask.reset();
    self->setAnalysisRunning(false);
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
    const QPointer<HomeState> self(this);
    m_preferenceSyncRunning = true;
    do {
        self->m_preferenceSyncPending = false;
        co_await self->syncMcpSummaryPreference();
        if (!self)
            co_return;
    } while (self->m_preferenceSyncPending);
    self->m_preferenceSyncRunning = false;
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

QVariant HomeState::analysisSuggestionCountValue() const
{
    return m_analysisSuggestionCount ? QVariant(*m_analysisSuggestionCount) : QVariant();
}

#define HOMESTATE_SETTER(Setter, member, Type, signal)                                                             \
    void HomeState::Setter(Type value)                                                                             \
    {                                                                                                              \
        if (member == value)                                                                                       \
            return;                                                                                                \
        member = value;                                                                                            \
        Q_EMIT signal();                                                                                           \
    }

HOMESTATE_SETTER(setAnalysisRunning, m_analysisRunning, bool, analysisRunningChanged)
HOMESTATE_SETTER(setAnalysisSuggestionCount, m_analysisSuggestionCount, const std::optional<qint64>&,
                 analysisSuggestionCountChanged)
HOMESTATE_SETTER(setShowAddAgent, m_showAddAgent, bool, showAddAgentChanged)
HOMESTATE_SETTER(setIsApproverOnly, m_isApproverOnly, bool, isApproverOnlyChanged)

#undef HOMESTATE_SETTER
