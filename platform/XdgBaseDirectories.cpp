#include "platform/XdgBaseDirectories.h"

#include "core/CoreConstants.h"

#include <QDir>

namespace {

QString fromEnvironment(const char* variable, const QString& fallbackBelowHome)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : CoreConstants::homeDirectory() + fallbackBelowHome;
}

} // namespace

namespace XdgBaseDirectories {

QString configHome()
{
    return fromEnvironment("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString dataHome()
{
    return fromEnvironment("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

} // namespace XdgBaseDirectories
