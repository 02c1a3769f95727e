#pragma once

#include "app/tooling/CLICancelToken.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <qcorotask.h>

class CLIService;
class DesktopNotifier;
class DesktopRegistration;
class MachineAuthService;
class ModelRuntimeServer;
class QNetworkAccessManager;
class QSettings;

// Everything of the uninstall after the login item is gone: the agents are
// unregistered one after another, then the machine record, the model runtime's
// user unit, the product tool (a packaged one: how to remove its package), the
// local configuration, the credential items, the desktop registrations,
// the preferences and the notifications are removed. Each step's outcome
// becomes a line of the report; nothing stops the run once started.
namespace Uninstall {

struct Services
{
    CLIService& cli;
    MachineAuthService& auth;
    QNetworkAccessManager& network;
    QSettings& settings;
    DesktopRegistration* desktop = nullptr;
    DesktopNotifier* notifier = nullptr;
    // Where the product tool may be installed (each one present is removed,
    // unless a package owns it), and our folder in the home directory.
    QStringList cliBinaryPaths;
    QString quorvaneDirectory;
    // Cancelling it stops the "unregister" run waiting now and skips those
    // still to come (each is reported as failed); the clean-up goes on.
    CLICancelToken cancel;
    // The model runtime's server, whose user unit goes too; may be null.
    ModelRuntimeServer* runtimeServer = nullptr;
    // The package database's query program ("dpkg -S <path>").
    QString dpkg = QStringLiteral("dpkg");
};

// The services must outlive the task. onStatus gets each step's text as it starts.
QCoro::Task<QStringList> run(Services services, QStringList agentNames, bool removeGlobalRules,
                             std::function<void(const QString&)> onStatus);

// "unregister" "--agent" name "--force", then "--remove-global-rules" when asked.
QStringList unregisterArguments(const QString& name, bool removeGlobalRules);
// The report line for one agent's "unregister" exit status.
QString agentLine(const QString& name, int status);
// The line for a product tool that a package owns.
QString packagedCliLine(const QString& path, const QString& package);
// "Cleared N desktop registration(s)", in the style of the other lines.
QString desktopRegistrationsLine(int count);

constexpr int statusRemoved = 0;
constexpr int statusDenied = 2;
constexpr int statusTimedOut = 3;
constexpr int statusRemovedLocally = 4;

} // namespace Uninstall
