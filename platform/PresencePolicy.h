#pragma once

#include <QString>

#include <QCoroTask>

#include <optional>

class PrivilegedRunner;

// The polkit action a trust window is confirmed with. polkitd reads actions
// only from /usr/share/polkit-1/actions, so an installation outside /usr (a
// self-updating one in the home folder) has the policy file in its own tree
// but polkit does not know the action until it is copied there.
class PresencePolicy
{
public:
    static constexpr char fileName[] = "org.quorvane.trust-window.policy";
    static constexpr char systemActionsDirectory[] = "/usr/share/polkit-1/actions";

    // The system folder above, and the policy shipped beside the running program.
    PresencePolicy();
    PresencePolicy(QString actionsDirectory, QString shippedPolicyPath);

    bool isInstalled() const;
    QString installedPath() const;
    QString shippedPolicyPath() const { return m_shippedPolicyPath; }

    // Copies the shipped policy into the actions folder with administrator
    // rights (the system's prompt is shown); the failure's description otherwise.
    QCoro::Task<std::optional<QString>> install(PrivilegedRunner& runner) const;

private:
    QString m_actionsDirectory;
    QString m_shippedPolicyPath;
};
