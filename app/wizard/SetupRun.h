#pragma once

#include "app/tooling/CLICancelToken.h"
#include "app/tooling/CLIError.h"
#include "app/wizard/AgentSummaryModel.h"
#include "app/wizard/SetupLogModel.h"
#include "core/ProgressPercent.h"
#include "core/VisibleText.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

class AccountSignIn;
class AgentConfiguration;
class CLIService;
class QNetworkAccessManager;

// The set-up run behind the configure screen's "Continue": registers an agent
// for every enabled tool through the product tool (one for all projects, or
// one per selected project folder), links each to the signed-in account with
// the session token, and reports every step in its log. One tool and one
// project after another; no failure stops the run.
class SetupRun : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by the wizard state")
    // The same models for the whole process; each run empties and refills them.
    Q_PROPERTY(SetupLogModel* log READ log CONSTANT)
    Q_PROPERTY(AgentSummaryModel* registeredAgents READ registeredAgents CONSTANT)
    // From 0 to 1, whatever was reported.
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    // The setting-up screen's caption for the progress.
    Q_PROPERTY(QString phaseText READ phaseText NOTIFY progressChanged)
    // Rules seeded from the posture's template.
    Q_PROPERTY(int templateRuleCount READ templateRuleCount NOTIFY templateRuleCountChanged)
    // The last failure the run met; empty: none.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    // The agents are named and configured by configuration and linked with account's session.
    SetupRun(const AccountSignIn& account, const AgentConfiguration& configuration, QObject* parent = nullptr);
    // Stops the product tool's run if one is going on.
    ~SetupRun() override;

    SetupLogModel* log() const { return m_log; }
    AgentSummaryModel* registeredAgents() const { return m_registeredAgents; }
    double progress() const { return ProgressPercent::clamped(m_progress); }
    QString phaseText() const;
    int templateRuleCount() const { return m_templateRuleCount; }
    QString errorMessage() const { return visibleText(m_errorMessage); }
    bool isRunning() const { return m_running; }

    // The run; answers whether it went to its end (false: cancelled, or
    // another run is going on). Without a product tool every registration fails.
    QCoro::Task<bool> run(QPointer<CLIService> cli, QNetworkAccessManager& network);
    // Ends the run: stops the product tool's run it waits for, and the progress
    // reads complete. Whoever cancels moves the wizard on.
    void cancel();

Q_SIGNALS:
    void progressChanged();
    void templateRuleCountChanged();
    void errorMessageChanged();

private:
    friend struct WizardTestAccess;
    struct Registration;
    // Runs "init" and applies its events: the agent id and error text to the
    // registration, the error and progress texts to the run.
    QCoro::Task<bool> registerAgents(QPointer<CLIService> cli, QNetworkAccessManager& network);
    QCoro::Task<CLIResult<void>> runInit(QPointer<CLIService> cli, QStringList arguments, QString workingDirectory,
        Registration& registration, bool remembersErrors);
    void setProgress(double value);
    void setTemplateRuleCount(int value);
    void setErrorMessage(const QString& value);

    const AccountSignIn& m_account;
    const AgentConfiguration& m_configuration;
    SetupLogModel* m_log;
    AgentSummaryModel* m_registeredAgents;
    double m_progress = 0.0;
    int m_templateRuleCount = 0;
    QString m_errorMessage;
    bool m_running = false;
    CLICancelToken m_cancel; // the product tool's runs of the current run
};
