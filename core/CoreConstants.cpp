#include "core/CoreConstants.h"

#include "core/BuildConfig.h"
#include "core/OriginCheck.h"
#include "core/LogCategories.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <pwd.h>
#include <unistd.h>

namespace {

QString devOverride(const char* name)
{
#ifdef QUORVANE_DEV_OVERRIDES
    return qEnvironmentVariable(name);
#else
    Q_UNUSED(name);
    return {};
#endif
}

QString origin(const char* overrideName, const char* compiledIn)
{
    const QString overridden = devOverride(overrideName);
    if (!overridden.isEmpty()) {
        QString trimmed = overridden;
        while (trimmed.endsWith(u'/'))
            trimmed.chop(1);
        if (OriginCheck::isAcceptable(trimmed))
            return trimmed;
        qCWarning(lcConfig).noquote()
            << QStringLiteral("Quorvane: ignoring %1=%2 (not an https origin or a loopback http origin)")
                   .arg(QLatin1String(overrideName), overridden);
    }
    return QString::fromUtf8(compiledIn);
}

QString accountHomeDirectory()
{
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir)
        return QString::fromLocal8Bit(entry->pw_dir);
    return QDir::rootPath();
}

// A home folder reached through a symbolic link is used by its real path:
// the private folders below it are created and checked component by
// component, and a link there would be refused.
QString resolvedDirectory(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

namespace CoreConstants {

QString apiBaseURL() { return origin("QUORVANE_API_BASE_URL", BuildConfig::apiBaseURL); }
QString webBaseURL() { return origin("QUORVANE_WEB_BASE_URL", BuildConfig::webBaseURL); }
QString releaseHost()
{
    const QString overridden = devOverride("QUORVANE_RELEASE_HOST");
    return overridden.isEmpty() ? QString::fromUtf8(BuildConfig::releaseHost) : overridden;
}

QString releasePublicKey()
{
    const QString overridden = devOverride("QUORVANE_RELEASE_PUBKEY");
    return overridden.isEmpty() ? QString::fromUtf8(BuildConfig::releasePublicKey) : overridden;
}

QString keychainService() { return QString::fromUtf8(BuildConfig::appId) + QStringLiteral(".machine"); }
QString keychainAccessGroup()
{
    return QString::fromUtf8(BuildConfig::teamId) + u'.' + QString::fromUtf8(BuildConfig::appId);
}

QString webSocketBaseURL()
{
    const QString api = apiBaseURL();
    if (api.startsWith(QLatin1String("https://")))
        return QStringLiteral("wss://") + api.mid(8);
    if (api.startsWith(QLatin1String("http://")))
        return QStringLiteral("ws://") + api.mid(7);
    return api;
}

QString homeDirectory()
{
    const QString overridden = devOverride("QUORVANE_HOME");
    if (!overridden.isEmpty())
        return resolvedDirectory(overridden); // tests change it while running
    static const QString home = resolvedDirectory(accountHomeDirectory());
    return home;
}

QString quorvaneDirectory() { return homeDirectory() + QStringLiteral("/.quorvane"); }
QString machineDirectory() { return quorvaneDirectory() + QStringLiteral("/machine"); }
QString machineConfigPath() { return machineDirectory() + QStringLiteral("/machine.json"); }
QString publicKeyPath() { return machineDirectory() + QStringLiteral("/public-key"); }
QString approverOnlyPath() { return machineDirectory() + QStringLiteral("/approver-only"); }
QString agentsDirectory() { return quorvaneDirectory() + QStringLiteral("/agents"); }
QString mcpServersPath() { return quorvaneDirectory() + QStringLiteral("/mcp-servers.json"); }
QString updateCheckLogPath() { return quorvaneDirectory() + QStringLiteral("/update-check.log"); }
QString receiptLogPath() { return quorvaneDirectory() + QStringLiteral("/receipts.jsonl"); }

} // namespace CoreConstants
