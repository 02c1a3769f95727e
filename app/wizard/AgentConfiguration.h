#pragma once

#include "app/tooling/DetectedToolsModel.h"
#include "app/tooling/SecurityPosture.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>

#include <QCoroTask>
#include <QtQmlIntegration/qqmlintegration.h>

class CLIService;

// What the configure screen edits before the set-up run: the agent's name,
// the detected AI tools with their scopes and projects, and the security
// posture whose rule template the agents start with.
class AgentConfiguration : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by the wizard state")
    Q_PROPERTY(QString agentName READ agentName NOTIFY agentNameChanged)
    // The message under the name field; empty when the name is acceptable.
    Q_PROPERTY(QString agentNameError READ agentNameError NOTIFY agentNameChanged)
    // Some detected tool is enabled and the agent name is acceptable.
    Q_PROPERTY(bool canContinue READ canContinue NOTIFY canContinueChanged)
    // The same model for the whole process; detectedToolsChanged tells that detection replaced its rows.
    Q_PROPERTY(DetectedToolsModel* detectedTools READ detectedTools NOTIFY detectedToolsChanged)
    Q_PROPERTY(bool isDetectingTools READ isDetectingTools NOTIFY isDetectingToolsChanged)
    // At least one detected tool gets one agent per project folder.
    Q_PROPERTY(bool hasPerProjectTool READ hasPerProjectTool NOTIFY hasPerProjectToolChanged)
    Q_PROPERTY(SecurityPostures::SecurityPosture securityPosture READ securityPosture NOTIFY securityPostureChanged)

public:
    explicit AgentConfiguration(QObject* parent);

    // The product tool that detection asks; without one nothing is detected.
    void setCli(CLIService* cli);

    QString agentName() const { return m_agentName; }
    QString agentNameError() const;
    bool canContinue() const { return m_canContinue; }
    DetectedToolsModel* detectedTools() const { return m_detectedTools; }
    bool isDetectingTools() const { return m_isDetectingTools; }
    bool hasPerProjectTool() const { return m_hasPerProjectTool; }
    SecurityPosture securityPosture() const { return m_securityPosture; }

    // The name field was edited.
    Q_INVOKABLE void rename(const QString& name);
    // A posture of the chooser (its index in securityPostureChoices).
    Q_INVOKABLE void choosePosture(SecurityPostures::SecurityPosture posture);
    // The chooser's postures in order: label, description, recommended.
    Q_INVOKABLE static QVariantList securityPostureChoices();
    // The scope radios in order (all projects, per project): label, sublabel.
    Q_INVOKABLE static QVariantList scopeChoices();

    // Proposes a new default agent name and replaces the detected tools with
    // what the product tool's scan reports (an empty list when the scan fails).
    // The window stays responsive meanwhile: isDetectingTools is true while the
    // scan runs.
    QCoro::Task<> detectTools();

Q_SIGNALS:
    void agentNameChanged();
    void canContinueChanged();
    void detectedToolsChanged();
    void isDetectingToolsChanged();
    void hasPerProjectToolChanged();
    void securityPostureChanged();

private:
    void setIsDetectingTools(bool value);
    void updateCanContinue();
    void updateHasPerProjectTool();

    QPointer<CLIService> m_cli;
    QString m_agentName; // the name typed on the configure screen
    DetectedToolsModel* m_detectedTools; // the detected AI tools
    bool m_isDetectingTools = false; // the tool scan runs
    bool m_canContinue = false; // cached for canContinueChanged
    bool m_hasPerProjectTool = false; // cached for hasPerProjectToolChanged
    SecurityPosture m_securityPosture = SecurityPosture::developer; // baseline rule template
};
