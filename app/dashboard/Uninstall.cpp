#include "app/dashboard/Uninstall.h"

#include "app/tooling/CLIService.h"
#include "app/tooling/ModelRuntimeServer.h"
#include "app/tooling/ProgramRun.h"
#include "core/ApiUrl.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "core/ReceiptLog.h"
#include "platform/DesktopNotifier.h"
#include "platform/DesktopRegistration.h"
#include "platform/PrivilegedRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <sys/stat.h>
#include <unistd.h>

namespace Uninstall {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("Uninstall", text);
}

QCoro::Task<QString> removeMachineRecord(MachineAuthService& auth, QNetworkAccessManager& network)
{
    const QString failed = tr("Could not remove machine from server — visit the web dashboard to clean up");
    const std::optional<QString> machineId = auth.machineId();
    if (!machineId)
        co_return failed;
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/machines/") + ApiUrl::pathSegment(*machineId));
    if (!url.isValid())
        co_return failed;
    const std::optional<SignedRequest> request = auth.signedDELETERequest(url);
    if (!request)
        co_return failed;
    const HttpResponse response = co_await Http::send(network, *request);
    co_return response.status == 200 ? tr("Removed machine from server") : failed;
}

// The package that owns path, if the package database knows one.
QCoro::Task<std::optional<QString>> owningPackage(QString dpkg, QString path)
{
    constexpr std::chrono::seconds deadline { 15 };
    // Merged /usr: the database may name the file by its other path.
    QStringList candidates { path };
    if (const QString canonical = QFileInfo(path).canonicalFilePath();
        !canonical.isEmpty() && canonical != path)
        candidates.append(canonical);
    for (const QString& candidate : std::as_const(candidates)) {
        const QStringList arguments { QStringLiteral("-S"), candidate };
        QCoro::Task<ProgramRun::Result> querying = ProgramRun::run(dpkg, arguments, deadline, true);
        const ProgramRun::Result answer = co_await std::move(querying);
        // "package[, package]: path"
        const QString line = QString::fromUtf8(answer.output).section(u'\n', 0, 0);
        const QString package = line.section(QStringLiteral(": "), 0, 0).section(u',', 0, 0).trimmed();
        if (answer.status == 0 && !package.isEmpty() && line.contains(QStringLiteral(": ")))
            co_return package;
    }
    co_return std::nullopt;
}

// The tool usually lies in a folder only the administrator may change; then
// the removal is asked of the administrator. A packaged tool is left to the
// package manager. The line tells what really happened.
QCoro::Task<std::optional<QString>> removeCliBinary(CLIService& cli, QString dpkg, QString path)
{
    const auto present = [&path] { return QFileInfo(path).exists() || QFileInfo(path).isSymLink(); };
    if (!present())
        co_return std::nullopt;
    QCoro::Task<std::optional<QString>> querying = owningPackage(dpkg, path);
    if (const std::optional<QString> package = co_await std::move(querying))
        co_return packagedCliLine(path, *package);
    if (!QFile::remove(path)) {
        PrivilegedRunner::Command removal{QStringLiteral("/bin/rm"),
                                          {QStringLiteral("-f"), QStringLiteral("--"), path}};
        QCoro::Task<CLIResult<void>> removing = cli.runPrivileged(std::move(removal));
        co_await std::move(removing);
    }
    if (present())
        co_return tr("Could not remove CLI binary at %1").arg(path);
    co_return tr("Removed CLI binary");
}

// What the program and its tool make in our folder. Nothing else there is
// touched: the folder may hold the person's own files.
QStringList ourEntries()
{
    QStringList names { QStringLiteral("agents"), QStringLiteral("machine"), QStringLiteral("run"),
        QStringLiteral("credentials.json"), QStringLiteral("mcp-servers.json"),
        QStringLiteral("update-check.log"), QStringLiteral("update-check.log.1"),
        QStringLiteral("receipts.jsonl") };
    for (int age = 1; age < ReceiptLog::defaultKeptFiles; ++age)
        names << QStringLiteral("receipts.jsonl.") + QString::number(age);
    return names;
}

bool isPresent(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// Removes one entry without following links: a link goes itself, a folder
// with what is in it (QDir removes links inside it without following them).
bool removeEntry(const QString& path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return true;
    if (S_ISDIR(info.st_mode))
        return QDir(path).removeRecursively();
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

// A linked folder is the person's own (a dotfiles checkout, a synced folder):
// only the link goes. In a real folder only our entries go, and the folder
// itself when nothing else is left in it.
std::optional<QString> removeLocalConfiguration(const QString& directory)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(directory).constData(), &info) != 0)
        return std::nullopt;
    bool removed = true;
    if (S_ISLNK(info.st_mode)) {
        removed = ::unlink(QFile::encodeName(directory).constData()) == 0;
    } else if (S_ISDIR(info.st_mode)) {
        for (const QString& name : ourEntries()) {
            const QString path = directory + QLatin1Char('/') + name;
            removed = removeEntry(path) && !isPresent(path) && removed;
        }
        ::rmdir(QFile::encodeName(directory).constData());
    } else {
        return std::nullopt;
    }
    if (!removed)
        return tr("Could not remove local config at %1").arg(directory);
    return tr("Removed local config and keys");
}

} // namespace

QStringList unregisterArguments(const QString& name, bool removeGlobalRules)
{
    QStringList arguments{QStringLiteral("unregister"), QStringLiteral("--agent"), name, QStringLiteral("--force")};
    if (removeGlobalRules)
        arguments << QStringLiteral("--remove-global-rules");
    return arguments;
}

QString agentLine(const QString& name, int status)
{
    switch (status) {
    case statusRemoved:
        return tr("Removed agent \"%1\"").arg(name);
    case statusDenied:
        return tr("Removal of \"%1\" was denied").arg(name);
    case statusTimedOut:
        return tr("Removal of \"%1\" timed out waiting for approval").arg(name);
    case statusRemovedLocally:
        return tr("Removed agent \"%1\" locally (server was unreachable)").arg(name);
    default:
        return tr("Failed to remove agent \"%1\"").arg(name);
    }
}

QString packagedCliLine(const QString& path, const QString& package)
{
    return tr("The CLI at %1 belongs to the package %2: remove it with \"sudo apt remove %2\"")
        .arg(path, package);
}

QString desktopRegistrationsLine(int count)
{
    return count == 1 ? tr("Cleared 1 desktop registration") : tr("Cleared %1 desktop registrations").arg(count);
}

QCoro::Task<QStringList> run(Services services, QStringList agentNames, bool removeGlobalRules,
                             std::function<void(const QString&)> onStatus)
{
    QStringList report;
    bool removedLocallyOnly = false;
    const qsizetype count = agentNames.size();
    for (qsizetype i = 0; i < count; ++i) {
        const QString& name = agentNames.at(i);
        onStatus(tr("Unregistering %1 (%2/%3)...").arg(name).arg(i + 1).arg(count));
        // The global rules go with the last agent, once the others are gone.
        const bool isLast = i == count - 1;
        const QStringList arguments = unregisterArguments(name, removeGlobalRules && isLast);
        const int status = co_await services.cli.runDetached(arguments, services.cancel);
        report << agentLine(name, status);
        removedLocallyOnly = removedLocallyOnly || status == statusRemovedLocally;
    }
    if (removedLocallyOnly)
        report << tr("Only local settings were removed. Visit the web dashboard to complete the process");

    onStatus(tr("Cleaning up..."));
    const QString machineLine = co_await removeMachineRecord(services.auth, services.network);
    report << machineLine;
    if (services.runtimeServer) {
        QCoro::Task<std::optional<QString>> removing = services.runtimeServer->removeUserUnit();
        if (const std::optional<QString> line = co_await std::move(removing))
            report << *line;
    }
    for (const QString& path : std::as_const(services.cliBinaryPaths)) {
        QCoro::Task<std::optional<QString>> removing = removeCliBinary(services.cli, services.dpkg, path);
        if (const std::optional<QString> line = co_await std::move(removing))
            report << *line;
    }
    if (const std::optional<QString> line = removeLocalConfiguration(services.quorvaneDirectory))
        report << *line;
    services.auth.clearKeychain();
    services.auth.reload();
    report << tr("Removed the machine's stored credentials");
    if (services.desktop) {
        if (const int cleared = services.desktop->clearRegistrations(); cleared > 0)
            report << desktopRegistrationsLine(cleared);
    }
    services.settings.clear();
    services.settings.sync();
    if (services.notifier)
        services.notifier->withdrawAll();
    report << tr("Cleared preferences and notifications");
    co_return report;
}

} // namespace Uninstall
