#pragma once

#include "app/tooling/CLICancelToken.h"
#include "app/tooling/DependencyStatus.h"
#include "app/wizard/ModelDownload.h"
#include "core/VisibleText.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>
#include <qcorotask.h>
#include <QtQmlIntegration/qqmlintegration.h>

class AccountSignIn;
class AgentConfiguration;
class CLIService;
class DependencyService;
class LoginItem;
class MachineAuthService;
struct CLIEvent;

// The install screen: its choices and its work, in order: the model runtime
// (when chosen; a failure there stops nothing), the product tool's preparation
// and key store, the machine's registration with the signed-in account (a
// failure stops the phase on the install screen), the login item, the model
// download in the background, and then tool detection or, for an approval
// device, the marker that says so.
class InstallPhase : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by the wizard state")
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    // Why the phase stopped (or what the product tool reported); empty: nothing.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(bool installLLM READ installLLM NOTIFY installLLMChanged)
    // Why the local model cannot be chosen (the runtime is missing and this
    // build cannot install it); empty when it can.
    Q_PROPERTY(
        QString modelUnavailableReason READ modelUnavailableReason NOTIFY modelUnavailableReasonChanged)
    Q_PROPERTY(bool discoverMcpServers READ discoverMcpServers NOTIFY discoverMcpServersChanged)
    // "Approval Device Only": this machine approves, it runs no agents.
    Q_PROPERTY(bool approverOnly READ approverOnly NOTIFY approverOnlyChanged)
    // The screen's rows.
    Q_PROPERTY(DependencyStatus ollamaStatus READ ollamaStatus NOTIFY ollamaStatusChanged)
    Q_PROPERTY(DependencyStatus cliStatus READ cliStatus NOTIFY cliStatusChanged)
    Q_PROPERTY(DependencyStatus credentialStoreStatus READ credentialStoreStatus NOTIFY credentialStoreStatusChanged)
    Q_PROPERTY(DependencyStatus machineStatus READ machineStatus NOTIFY machineStatusChanged)
    Q_PROPERTY(ModelDownload* modelDownload READ modelDownload CONSTANT)

public:
    // What the phase works with; each may be missing (then its step fails or,
    // for the login item, is left out). The services must outlive the phase.
    struct Services
    {
        CLIService* cli = nullptr;
        DependencyService* dependencies = nullptr;
        MachineAuthService* auth = nullptr;
        LoginItem* loginItem = nullptr;
    };

    // The registration uses the account's session; tool detection fills the configuration.
    InstallPhase(const AccountSignIn& account, AgentConfiguration& configuration, QObject* parent = nullptr);
    // Stops the product tool's preparation if it is still running.
    ~InstallPhase() override;

    void setServices(const Services& services);

    bool isRunning() const { return m_running; }
    QString errorMessage() const { return visibleText(m_errorMessage); }
    bool installLLM() const { return m_installLLM; }
    QString modelUnavailableReason() const { return m_modelUnavailableReason; }
    bool discoverMcpServers() const { return m_discoverMcpServers; }
    bool approverOnly() const { return m_approverOnly; }
    DependencyStatus ollamaStatus() const { return m_ollamaStatus; }
    DependencyStatus cliStatus() const { return m_cliStatus; }
    DependencyStatus credentialStoreStatus() const { return m_credentialStoreStatus; }
    DependencyStatus machineStatus() const { return m_machineStatus; }
    ModelDownload* modelDownload() const { return m_modelDownload; }

    // The screen's switches. The model cannot be turned on while
    // modelUnavailableReason is set. An approval device gets no agents: no
    // model and no MCP scan; turning it off again does not bring them back.
    Q_INVOKABLE void chooseInstallLLM(bool value);
    Q_INVOKABLE void chooseDiscoverMcpServers(bool value);
    Q_INVOKABLE void chooseApproverOnly(bool value);

    // "Install & Continue": the whole phase, in order; finished follows its
    // success. A failing step that stops it leaves isRunning false and the
    // install screen shown, so that the button starts it over. Ignored while a
    // run is going on.
    QCoro::Task<> runInstall();
    Q_INVOKABLE void start() { runInstall(); }
    // "Cancel" while the phase runs: the product tool's preparation is
    // stopped (its process terminated) and the phase stops with "Cancelled".
    Q_INVOKABLE void cancel();

    // The runtime row as the install screen first shows it, and whether this
    // build can install a missing runtime at all.
    Q_INVOKABLE void showInstallScreen();

    // A failed runtime row's text: what failed, and that the model can be
    // installed later.
    static QString runtimeFailureText(const QString& what);

Q_SIGNALS:
    void isRunningChanged();
    void errorMessageChanged();
    void installLLMChanged();
    void modelUnavailableReasonChanged();
    void discoverMcpServersChanged();
    void approverOnlyChanged();
    void ollamaStatusChanged();
    void cliStatusChanged();
    void credentialStoreStatusChanged();
    void machineStatusChanged();
    // The machine is set up as far as this phase goes: the tools are detected,
    // or the approval device's marker is written.
    void finished();

private:
    friend struct WizardTestAccess;
    // The runtime's install; whatever happens shows on its row only.
    QCoro::Task<> installRuntime();
    // Answers the message that stops the phase, if it does.
    QCoro::Task<std::optional<QString>> prepareCli();
    // Answers the message that stops the phase, if registration failed.
    QCoro::Task<std::optional<QString>> registerMachine();
    void registerLoginItem();
    QCoro::Task<> finish();
    void stop(const QString& message);
    void applyPreflightEvent(const CLIEvent& event);

    void setRunning(bool value);
    void setErrorMessage(const QString& value);
    void setModelUnavailableReason(const QString& reason);
    void setOllamaStatus(const DependencyStatus& value);
    void setCliStatus(const DependencyStatus& value);
    void setCredentialStoreStatus(const DependencyStatus& value);
    void setMachineStatus(const DependencyStatus& value);

    const AccountSignIn& m_account;
    AgentConfiguration& m_configuration;
    ModelDownload* m_modelDownload;
    QPointer<CLIService> m_cli;
    QPointer<DependencyService> m_dependencies;
    QPointer<MachineAuthService> m_auth;
    LoginItem* m_loginItem = nullptr;
    CLICancelToken m_preparation; // the current run of "init --preflight"
    bool m_running = false;
    QString m_errorMessage; // empty: none
    bool m_installLLM = true;
    QString m_modelUnavailableReason; // empty: the model can be installed
    bool m_discoverMcpServers = true; // scan MCP servers during the analysis
    bool m_approverOnly = false;
    DependencyStatus m_ollamaStatus = DependencyStatus::missing();
    DependencyStatus m_cliStatus = DependencyStatus::missing();
    DependencyStatus m_credentialStoreStatus = DependencyStatus::missing();
    DependencyStatus m_machineStatus = DependencyStatus::missing();
};
