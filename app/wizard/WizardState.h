#pragma once

#include "app/wizard/AccountSignIn.h"
#include "app/wizard/ActivityAnalysis.h"
#include "app/wizard/AgentConfiguration.h"
#include "app/wizard/InstallPhase.h"
#include "app/wizard/SetupRun.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantList>

#include <QCoroTask>
#include <QtQmlIntegration/qqmlintegration.h>

#include <memory>

class CLIService;
class DependencyService;
class LoginItem;
class MachineAuthService;
class QNetworkAccessManager;

// The wizard's model: which screen is shown, and one model for each step that
// owns what its screen shows (the sign-in, the install phase, the agents'
// configuration, the set-up run, the activity analysis). The screens read the
// step models' properties and call their intents; the wizard moves from screen
// to screen as the steps finish. Made once by the window manager and kept for the
// whole process, so a reopened wizard window shows the state it was left in.
class WizardState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the application")
    Q_CLASSINFO("RegisterEnumClassesUnscoped", "false")
    Q_PROPERTY(WizardScreen currentScreen READ currentScreen NOTIFY currentScreenChanged)
    Q_PROPERTY(AccountSignIn* account READ account CONSTANT)
    Q_PROPERTY(InstallPhase* install READ install CONSTANT)
    Q_PROPERTY(AgentConfiguration* configuration READ configuration CONSTANT)
    Q_PROPERTY(SetupRun* setup READ setup CONSTANT)
    Q_PROPERTY(ActivityAnalysis* analysis READ analysis CONSTANT)

public:
    enum class WizardScreen { welcome = 0, signIn = 1, install = 2, configure = 3, settingUp = 4, done = 5 };
    Q_ENUM(WizardScreen)
    enum class SetupStep { signIn = 0, install = 1, configure = 2, setup = 3, done = 4 };
    Q_ENUM(SetupStep)
    enum class StepState { done, active, pending };
    Q_ENUM(StepState)

    // What the wizard works with; each may be missing. Without a network
    // access manager the wizard makes its own; without a browser opener it
    // uses the desktop's handler for web links. The services must outlive the wizard.
    struct Services
    {
        QNetworkAccessManager* network = nullptr;
        CLIService* cli = nullptr;
        DependencyService* dependencies = nullptr;
        MachineAuthService* auth = nullptr;
        LoginItem* loginItem = nullptr;
        AccountSignIn::BrowserOpener openBrowser;
    };

    explicit WizardState(QObject* parent = nullptr);
    ~WizardState() override;

    void setServices(const Services& services);

    WizardScreen currentScreen() const { return m_currentScreen; }
    AccountSignIn* account() const { return m_account; }
    InstallPhase* install() const { return m_install; }
    AgentConfiguration* configuration() const { return m_configuration; }
    SetupRun* setup() const { return m_setup; }
    ActivityAnalysis* analysis() const { return m_analysis; }

    // The step bar: the step a screen highlights, as the bar's index (-1 for
    // the welcome screen), and the bar's steps in order for the active one,
    // each with its label and StepState.
    Q_INVOKABLE static int activeStepOf(int screen);
    Q_INVOKABLE static QVariantList steps(int activeStep);

    // "Get Started" on the welcome screen: the sign-in screen.
    Q_INVOKABLE void getStarted();
    // Setting up a machine again: back to the sign-in screen, from any screen.
    void signInAgain();
    // A URL opened with the program (the desktop entry's scheme handler). Only
    // the sign-in screen takes a callback (see AccountSignIn::handleCallback);
    // on any other screen (and on a machine that is set up) it is ignored with
    // one log line. Returns whether the URL was a callback of our scheme that
    // was dealt with (taken or ignored on purpose).
    bool handleCallbackURL(const QUrl& url);
    // "Continue" on the configure screen: shows the setting-up screen and
    // starts the set-up run, unless one is running. It ends on the done screen,
    // followed by the activity analysis when the local model was chosen.
    Q_INVOKABLE void startSetup();
    // "Skip & Finish Setup": stops the model download, so no analysis follows,
    // and goes to the done screen. A registration already running goes on.
    Q_INVOKABLE void skipSetup();
    // Ends the analysis silently (the wizard window closes).
    Q_INVOKABLE void cancelAnalysis();
    // The account session is needed only during set-up: wiped when set-up ends.
    void clearSessionToken();
    // "Need help? View setup guide": the web origin's set-up guide at `section`
    // ("setup-install", "setup-configure") in the browser.
    Q_INVOKABLE void openSetupGuide(const QString& section);
    // "Close" on the done screen, after any confirmation: the window manager
    // finishes the wizard.
    Q_INVOKABLE void closeWizard();

Q_SIGNALS:
    void currentScreenChanged();
    // "Close" on the done screen.
    void closeRequested();
    // A sign-in finished: the application comes to the front.
    void activationRequested();

private:
    friend struct WizardTestAccess;
    void setCurrentScreen(WizardScreen value);
    QCoro::Task<> runSetup();
    // The process's network access manager (made on first use when none was given).
    QNetworkAccessManager& network();

    WizardScreen m_currentScreen = WizardScreen::welcome;
    AccountSignIn* m_account;
    AgentConfiguration* m_configuration;
    InstallPhase* m_install;
    SetupRun* m_setup;
    ActivityAnalysis* m_analysis;
    QNetworkAccessManager* m_network = nullptr;
    std::unique_ptr<QNetworkAccessManager> m_ownNetwork;
    AccountSignIn::BrowserOpener m_openBrowser;
    QPointer<CLIService> m_cli;
};
