#include "app/dashboard/ConfirmationDialogs.h"
#include "core/VisibleText.h"

#include <QCoreApplication>
#include <QVariantList>

namespace ConfirmationDialogs {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("ConfirmationDialogs", text);
}

QVariantMap button(const QString& text, const char* role, bool removeGlobalRules = false)
{
    return {{QStringLiteral("text"), text},
            {QStringLiteral("role"), QString::fromLatin1(role)},
            {QStringLiteral("removeGlobalRules"), removeGlobalRules}};
}

QVariantMap dialog(const QString& title, const QString& message, const QVariantList& confirmations)
{
    QVariantList buttons{button(tr("Cancel"), "cancel")};
    buttons += confirmations;
    return {{QStringLiteral("title"), title}, {QStringLiteral("message"), message}, {QStringLiteral("buttons"), buttons}};
}

} // namespace

QVariantMap removal(const QString& agentName, int agentCount)
{
    if (agentCount == 1) {
        return dialog(tr("Remove Last Agent?"),
                      tr("This is the last agent on this machine. You can also remove your global rules from the "
                         "server. You approve it in the Quorvane panel."),
                      {button(tr("Remove & Keep Rules"), "normal"),
                       button(tr("Remove & Delete Rules"), "destructive", true)});
    }
    return dialog(tr("Remove Agent?"),
                  tr("This will remove \"%1\" from this machine and the server. You approve it in the Quorvane "
                     "panel.")
                      .arg(visibleText(agentName)),
                  {button(tr("Remove"), "destructive")});
}

QVariantMap uninstall(int agentCount)
{
    if (agentCount < 1)
        return dialog(tr("Uninstall Quorvane?"), tr("This will remove Quorvane from this machine."),
                      {button(tr("Uninstall"), "destructive")});
    const QString message = agentCount == 1
        ? tr("This will unregister 1 agent from the server and remove Quorvane from this machine. You approve it in "
             "the Quorvane panel. You can also remove your global rules.")
        : tr("This will unregister %1 agents from the server and remove Quorvane from this machine. You approve it in "
             "the Quorvane panel. You can also remove your global rules.")
              .arg(agentCount);
    return dialog(tr("Uninstall Quorvane?"), message,
                  {button(tr("Uninstall & Keep Rules"), "normal"),
                   button(tr("Uninstall & Delete Rules"), "destructive", true)});
}

} // namespace ConfirmationDialogs
