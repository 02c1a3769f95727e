#pragma once

#include "app/tooling/CLICancelToken.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>
#include <qcorotask.h>

class CLIService;
class DependencyService;
class LoginItem;
class MachineAuthService;
class WizardState;
struct CLIEvent;

// The install screen's work on the wizard model it belongs to: the model
// runtime (when chosen; a failure there stops nothing), the product tool's preparation and key store, the
// machine's registration (a failure stops the phase on the install screen), the login item, the model download in the
// background, and then tool detection or, for an approval device, the done
// screen.
class InstallPhase : public QObject
{
    Q_OBJECT
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

    InstallPhase(WizardState& state, const Services& services);
    // Stops the product tool's preparation if it is still running.
    ~InstallPhase() override;

    // "Install & Continue": the whole phase, in order. A failing step that
    // stops it leaves isLoading false and the install screen shown, so that
    // the button starts it over. Ignored while a run is going on.
    QCoro::Task<> runInstall();
    bool isRunning() const { return m_running; }
    // "Cancel" while the phase runs: the product tool's preparation is
    // stopped (its process terminated) and the phase stops with "Cancelled".
    void cancel();

    // Starts "download-model" in the background; the process is kept in the
    // model's llmProcess and outlives the install screen.
    QCoro::Task<> startModelDownload();

    // The runtime row as the install screen first shows it, and whether this
    // build can install a missing runtime at all.
    void showInstallScreen();

    // A failed runtime row's text: what failed, and that the model can be
    // installed later.
    static QString runtimeFailureText(const QString& what);

private:
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
    void applyModelDownloadEvent(const CLIEvent& event);

    WizardState& m_state;
    QPointer<CLIService> m_cli;
    QPointer<DependencyService> m_dependencies;
    QPointer<MachineAuthService> m_auth;
    LoginItem* m_loginItem = nullptr;
    bool m_running = false;
    CLICancelToken m_preparation; // the current run of "init --preflight"
};
