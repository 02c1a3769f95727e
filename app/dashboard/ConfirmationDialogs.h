#pragma once

#include <QVariantMap>

// The questions asked before removing an agent or uninstalling, as the views
// show them: {"title", "message", "buttons"}, each button {"text", "role"
// ("cancel", "normal" or "destructive"), "removeGlobalRules"}. A button other
// than the cancel one confirms, asking to remove the global rules or not.
namespace ConfirmationDialogs {

QVariantMap removal(const QString& agentName, int agentCount);
QVariantMap uninstall(int agentCount);

} // namespace ConfirmationDialogs
