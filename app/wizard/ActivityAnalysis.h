#pragma once

#include "app/tooling/CLICancelToken.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <chrono>
#include <optional>
#include <QtQmlIntegration/qqmlintegration.h>

class CLIService;
class InstallPhase;

// The activity analysis that follows the set-up run when the local model was
// chosen: it waits for the install phase's model download, then lets the
// product tool scan the AI tools' past activity ("analyze-history"), and
// reports its progress and the number of rule suggestions; the done screen
// shows its line and asks before closing while it waits or runs.
class ActivityAnalysis : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by the wizard state")
    Q_PROPERTY(bool waitingForLLM READ waitingForLLM NOTIFY statusChanged)
    Q_PROPERTY(bool inProgress READ inProgress NOTIFY statusChanged)
    Q_PROPERTY(bool complete READ complete NOTIFY statusChanged)
    Q_PROPERTY(double progress READ progress NOTIFY statusChanged)
    // The failure; empty: none.
    Q_PROPERTY(QString error READ error NOTIFY statusChanged)
    Q_PROPERTY(int suggestionCount READ suggestionCount NOTIFY statusChanged)
    // The done screen's line about the analysis (empty: none), and whether the
    // note pointing to the web dashboard follows it.
    Q_PROPERTY(QString statusLine READ statusLine NOTIFY statusChanged)
    Q_PROPERTY(bool showsReviewNote READ showsReviewNote NOTIFY statusChanged)
    // What closing the done screen asks first; empty while nothing runs ("Close" then finishes at once).
    Q_PROPERTY(QString closeAlertTitle READ closeAlertTitle NOTIFY statusChanged)
    Q_PROPERTY(QString closeAlertMessage READ closeAlertMessage NOTIFY statusChanged)
    // The alert's buttons: the first only closes the alert, the second (destructive) finishes the wizard.
    Q_PROPERTY(QString keepRunningLabel READ keepRunningLabel CONSTANT)
    Q_PROPERTY(QString stopAndCloseLabel READ stopAndCloseLabel CONSTANT)

public:
    static constexpr std::chrono::milliseconds pollInterval = std::chrono::seconds(1);
    static constexpr std::chrono::milliseconds defaultWaitLimit = std::chrono::seconds(600);

    // The download to wait for and the MCP choice come from install.
    explicit ActivityAnalysis(const InstallPhase& install, QObject* parent = nullptr);
    // A running analysis would otherwise leave the product tool's run behind.
    ~ActivityAnalysis() override;

    // The product tool that analyses; without one the analysis fails.
    void setCli(CLIService* cli);
    // How long the analysis waits for the model download (tests shorten it).
    void setWaitLimit(std::chrono::milliseconds limit) { m_waitLimit = limit; }

    bool waitingForLLM() const { return m_waitingForLLM; }
    bool inProgress() const { return m_inProgress; }
    bool complete() const { return m_complete; }
    double progress() const { return m_progress; }
    QString error() const { return m_error; }
    int suggestionCount() const { return m_suggestionCount; }
    QString statusLine() const;
    bool showsReviewNote() const;
    QString closeAlertTitle() const;
    QString closeAlertMessage() const;
    static QString keepRunningLabel() { return QStringLiteral("Keep Running"); }
    static QString stopAndCloseLabel() { return QStringLiteral("Stop & Close"); }

    // Waits for the model download, then analyses; an analysis already under
    // way is cancelled first.
    void start();
    // Ends the analysis silently: complete stays as it was.
    void cancel();

Q_SIGNALS:
    void statusChanged();

private:
    friend struct WizardTestAccess;
    QCoro::Task<> run(CLICancelToken cancel);
    void setWaitingForLLM(bool value);
    void setInProgress(bool value);
    void setComplete(bool value);
    void setProgress(double value);
    void setError(const QString& value);
    void setSuggestionCount(int value);

    const InstallPhase& m_install;
    QPointer<CLIService> m_cli;
    std::chrono::milliseconds m_waitLimit = defaultWaitLimit;
    std::optional<CLICancelToken> m_running; // the running analysis, for cancelling it
    bool m_waitingForLLM = false;
    bool m_inProgress = false;
    bool m_complete = false;
    double m_progress = 0.0; // 0 to 1
    QString m_error;
    int m_suggestionCount = 0;
};
