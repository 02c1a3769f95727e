#include "app/tooling/AgentInfo.h"

#include "core/FileDescriptor.h"
#include "core/JsonFields.h"

#include "core/CoreConstants.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool readRequired(const QJsonObject& object, QLatin1String key, QString& out)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}


// Reads <directory>/<entry>/config.json. The entry must be a real folder and
// the file a regular file of sensible size: symbolic links, FIFOs and devices
// are never opened through, so nothing here can block or read without end.
std::optional<QByteArray> readConfig(int directoryFd, const char* entry)
{
    const FileDescriptor agentFd(::openat(directoryFd, entry, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (agentFd.get() < 0)
        return std::nullopt;
    const FileDescriptor fileFd(
        ::openat(agentFd.get(), "config.json", O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fileFd.get() < 0)
        return std::nullopt;
    struct stat info;
    if (::fstat(fileFd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > AgentInfo::maxConfigSize)
        return std::nullopt;

    QByteArray content;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fileFd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (count == 0)
            break;
        content.append(buffer, count);
        if (content.size() > AgentInfo::maxConfigSize)
            return std::nullopt;
    }
    return content;
}

} // namespace

std::optional<AgentInfo> AgentInfo::decode(QByteArrayView json)
{
    if (json.size() > maxConfigSize)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    AgentInfo info;
    const bool ok = readRequired(object, QLatin1String("name"), info.name)
        && readRequired(object, QLatin1String("machine"), info.machine)
        && readRequired(object, QLatin1String("machineId"), info.machineId)
        && readRequired(object, QLatin1String("publicKey"), info.publicKey)
        && JsonFields::readOptionalText(object, QLatin1String("agentId"), info.agentId)
        && JsonFields::readOptionalText(object, QLatin1String("status"), info.status)
        && readRequired(object, QLatin1String("createdAt"), info.createdAt)
        && readRequired(object, QLatin1String("apiUrl"), info.apiUrl)
        && JsonFields::readOptionalText(object, QLatin1String("template"), info.templateName)
        && JsonFields::readOptionalText(object, QLatin1String("scope"), info.scope)
        && JsonFields::readOptionalText(object, QLatin1String("projectPath"), info.projectPath);
    if (!ok)
        return std::nullopt;
    return info;
}

QList<AgentInfo> AgentInfo::loadAll()
{
    return loadAll(CoreConstants::agentsDirectory());
}

QList<AgentInfo> AgentInfo::loadAll(const QString& agentsDirectory)
{
    QList<AgentInfo> agents;
    FileDescriptor directoryFd(
        ::open(QFile::encodeName(agentsDirectory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directoryFd.get() < 0)
        return agents;
    const int listingFd = ::dup(directoryFd.get());
    if (listingFd < 0)
        return agents;
    DIR* listing = ::fdopendir(listingFd);
    if (!listing) {
        ::close(listingFd);
        return agents;
    }

    // Names are used as raw bytes, so folders whose names are not valid UTF-8
    // are read like any other.
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat info;
        if (::fstatat(directoryFd.get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode))
            continue;
        const std::optional<QByteArray> content = readConfig(directoryFd.get(), entry->d_name);
        if (!content)
            continue;
        if (std::optional<AgentInfo> agent = decode(*content))
            agents.append(std::move(*agent));
    }
    ::closedir(listing);

    std::stable_sort(agents.begin(), agents.end(),
                     [](const AgentInfo& a, const AgentInfo& b) { return a.createdAt > b.createdAt; });
    return agents;
}

QString AgentInfo::scopeLabel() const
{
    return scopeLabel(CoreConstants::homeDirectory());
}

QString AgentInfo::scopeLabel(const QString& homeDirectory) const
{
    if (scope == QLatin1String("global"))
        return QCoreApplication::translate("AgentInfo", "All projects");
    if (projectPath) {
        // Only a whole leading folder is the home folder: /home/al is not a
        // prefix of /home/alice/project.
        QString home = homeDirectory;
        while (home.size() > 1 && home.endsWith(u'/'))
            home.chop(1);
        if (!home.isEmpty() && home != QLatin1String("/")) {
            if (*projectPath == home)
                return QStringLiteral("~");
            if (projectPath->startsWith(home + u'/'))
                return u'~' + projectPath->mid(home.size());
        }
        return *projectPath;
    }
    if (scope)
        return *scope;
    return QCoreApplication::translate("AgentInfo", "Unknown");
}
