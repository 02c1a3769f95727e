#pragma once

#include "app/tooling/DetectedToolsModel.h"
#include "app/tooling/SecurityPosture.h"
#include "core/VisibleText.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <qcorotask.h>

#include <chrono>
#include <optional>

class CLIService;
class MachineAuthService;

// The add-agent sheet's model, one per opened sheet: scans the machine for AI
// tools, keeps the person's choices, registers the agents through the product
// tool ("init") and links each new agent to this machine.
//
// registerAgent() is the sheet's "Register Agent" (register is a reserved
// word). Optional values are published as QVariant: invalid when absent.
class AddAgentState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the home state")
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(DetectedToolsModel* detectedTools READ detectedTools CONSTANT)
    Q_PROPERTY(QString agentName READ agentName WRITE setAgentName NOTIFY agentNameChanged)
    Q_PROPERTY(int securityPosture READ securityPostureValue WRITE setSecurityPostureValue NOTIFY
                   securityPostureChanged)
    Q_PROPERTY(QString projectsRoot READ projectsRoot WRITE setProjectsRoot NOTIFY projectsRootChanged)
    Q_PROPERTY(bool projectsRootEnabled READ projectsRootEnabled WRITE setProjectsRootEnabled NOTIFY
                   projectsRootEnabledChanged)
    Q_PROPERTY(bool isRegistering READ isRegistering NOTIFY isRegisteringChanged)
    Q_PROPERTY(QString registerProgress READ registerProgress NOTIFY registerProgressChanged)
    Q_PROPERTY(QVariant registerError READ registerErrorValue NOTIFY registerErrorChanged)
    Q_PROPERTY(bool registerSuccess READ registerSuccess NOTIFY registerSuccessChanged)
    Q_PROPERTY(bool canRegister READ canRegister NOTIFY canRegisterChanged)
    Q_PROPERTY(QString nameLabel READ nameLabel NOTIFY nameLabelChanged)
    Q_PROPERTY(QVariantList postures READ postures CONSTANT)
    Q_PROPERTY(QVariantList scopes READ scopes CONSTANT)

public:
    // home: the person's home folder ("~" in project paths); empty means the account's.
    AddAgentState(CLIService& cli, MachineAuthService& auth, QObject* parent = nullptr, QString home = {});

    bool isScanning() const { return m_isScanning; }
    DetectedToolsModel* detectedTools() const { return m_tools; }
    QString agentName() const { return m_agentName; }
    void setAgentName(const QString& value);
    SecurityPosture securityPosture() const { return m_securityPosture; }
    void setSecurityPosture(SecurityPosture value);
    QString projectsRoot() const { return m_projectsRoot; }
    void setProjectsRoot(const QString& value);
    bool projectsRootEnabled() const { return m_projectsRootEnabled; }
    void setProjectsRootEnabled(bool value);
    bool isRegistering() const { return m_isRegistering; }
    QString registerProgress() const { return visibleText(m_registerProgress); }
    std::optional<QString> registerError() const { return m_registerError; }
    bool registerSuccess() const { return m_registerSuccess; }

    // Some tool is switched on and the name is more than spaces and tabs.
    bool canRegister() const;
    // "Agent Name" when some tool has the per-project scope, else "Machine Name".
    QString nameLabel() const;
    // For the posture picker: {"value", "label", "description", "recommended"}.
    static QVariantList postures();
    // For the scope choice: {"value", "label", "subLabel"}.
    static QVariantList scopes();

    // Fills detectedTools from the product tool's scan without blocking; a
    // second call while one runs does nothing.
    Q_INVOKABLE void scan();
    // Registers an agent for every enabled tool, then links the new agents.
    Q_INVOKABLE void registerAgent();

    // The "--projects-root" of an all-projects tool: the common root of its
    // project folders that exist, else the sheet's root when switched on, else "".
    QString projectsRootFor(const DetectedTool& tool) const;

Q_SIGNALS:
    void isScanningChanged();
    void agentNameChanged();
    void securityPostureChanged();
    void projectsRootChanged();
    void projectsRootEnabledChanged();
    void isRegisteringChanged();
    void registerProgressChanged();
    void registerErrorChanged();
    void registerSuccessChanged();
    void canRegisterChanged();
    void nameLabelChanged();

private:
    struct InitRun
    {
        QStringList arguments;
        QString workingDirectory;
    };

    QCoro::Task<> runScan();
    QCoro::Task<> runRegistration(QList<InitRun> runs);
    QList<InitRun> initRuns(const QString& name) const;
    void finishRegistration(std::optional<QString> error);

    int securityPostureValue() const { return int(m_securityPosture); }
    void setSecurityPostureValue(int value);
    QVariant registerErrorValue() const;
    void setIsScanning(bool value);
    void setIsRegistering(bool value);
    void setRegisterProgress(const QString& value);
    void setRegisterError(const std::optional<QString>& value);
    void setRegisterSuccess(bool value);
    void toolsChanged();

    CLIService& m_cli;
    MachineAuthService& m_auth;
    QString m_home;
    DetectedToolsModel* m_tools;
    bool m_isScanning = false;
    QString m_agentName;
    SecurityPosture m_securityPosture = SecurityPosture::developer;
    QString m_projectsRoot;
    bool m_projectsRootEnabled = true;
    bool m_isRegistering = false;
    QString m_registerProgress;
    std::optional<QString> m_registerError;
    bool m_registerSuccess = false;
    bool m_canRegister = false;
    QString m_nameLabel;
};
