#pragma once

#include "platform/PresencePolicy.h"
#include "core/VisibleText.h"

#include <QObject>
#include <QString>

#include <QCoroTask>

#include <optional>

class PrivilegedRunner;

// What the "Pause" tab says about the polkit policy trust windows are
// confirmed with: missing (with the offer to install it), being installed, or
// nothing to say. Without a policy to watch (a stand-in confirmer asks nobody)
// it is never missing.
class PresencePolicyState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isMissing READ isMissing NOTIFY isMissingChanged)
    Q_PROPERTY(bool isInstalling READ isInstalling NOTIFY isInstallingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString actionsDirectory READ actionsDirectory CONSTANT)
    Q_PROPERTY(bool canInstall READ canInstall CONSTANT)

public:
    PresencePolicyState(std::optional<PresencePolicy> policy, PrivilegedRunner& runner, QObject* parent = nullptr);

    bool isMissing() const { return m_isMissing; }
    bool isInstalling() const { return m_isInstalling; }
    QString errorMessage() const { return visibleText(m_errorMessage); }
    static QString actionsDirectory() { return QString::fromLatin1(PresencePolicy::systemActionsDirectory); }
    // Whether this installation ships the policy to install (a build tree does not).
    bool canInstall() const;

    // Looks again (the package may have been installed meanwhile).
    Q_INVOKABLE void refresh();
    // "Install Policy": the system's administrator prompt, then the copy.
    QCoro::Task<> install();
    Q_INVOKABLE void startInstall();

Q_SIGNALS:
    void isMissingChanged();
    void isInstallingChanged();
    void errorMessageChanged();

private:
    void setMissing(bool missing);
    void setInstalling(bool installing);
    void setErrorMessage(const QString& message);

    std::optional<PresencePolicy> m_policy;
    PrivilegedRunner& m_runner;
    bool m_isMissing = false;
    bool m_isInstalling = false;
    QString m_errorMessage;
};
