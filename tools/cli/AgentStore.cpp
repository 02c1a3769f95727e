#include "tools/cli/AgentStore.h"

#include "core/CoreConstants.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSysInfo>

namespace {

std::optional<QJsonObject> readObject(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

bool makePrivateFolder(const QString& path, QString* error)
{
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("cannot create %1").arg(path);
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

} // namespace

QString AgentStore::unusedName(const QString& requested) const
{
    const QString agents = CoreConstants::agentsDirectory();
    if (!findAgent(requested) && !QFileInfo::exists(agents + u'/' + requested))
        return requested;
    for (int n = 2;; ++n) {
        const QString suffix = u'-' + QString::number(n);
        const QString candidate = requested.left(32 - suffix.size()) + suffix;
        if (!findAgent(candidate) && !QFileInfo::exists(agents + u'/' + candidate))
            return candidate;
    }
}

bool AgentStore::createAgent(const QString& name, const QJsonObject& config, QString* error) const
{
    const QString folder = CoreConstants::agentsDirectory() + u'/' + name;
    if (!makePrivateFolder(CoreConstants::quorvaneDirectory(), error) || !makePrivateFolder(folder, error))
        return false;
    return writeJson(folder + QStringLiteral("/config.json"), config, error);
}

std::optional<QString> AgentStore::findAgent(const QString& name) const
{
    const QString agents = CoreConstants::agentsDirectory();
    const QFileInfo direct(agents + u'/' + name);
    if (direct.isDir() && !direct.isSymLink()
        && QFileInfo::exists(direct.filePath() + QStringLiteral("/config.json")))
        return direct.filePath();

    const QFileInfoList entries = QDir(agents).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink())
            continue;
        const auto config = readObject(entry.filePath() + QStringLiteral("/config.json"));
        if (config && config->value(QStringLiteral("name")).toString() == name)
            return entry.filePath();
    }
    return std::nullopt;
}

bool AgentStore::setStatus(const QString& folder, const QString& status, QString* error) const
{
    const QString path = folder + QStringLiteral("/config.json");
    auto config = readObject(path);
    if (!config) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    config->insert(QStringLiteral("status"), status);
    return writeJson(path, *config, error);
}

bool AgentStore::removeAgent(const QString& folder, QString* error) const
{
    const QFileInfo info(folder);
    const bool removed = info.isSymLink() ? QFile::remove(folder) : QDir(folder).removeRecursively();
    if (!removed)
        *error = QStringLiteral("cannot remove %1").arg(folder);
    return removed;
}

bool AgentStore::writeMcpServers(const QJsonArray& servers, QString* error) const
{
    if (!makePrivateFolder(CoreConstants::quorvaneDirectory(), error))
        return false;
    return writeJson(
        CoreConstants::mcpServersPath(), QJsonObject { { QStringLiteral("servers"), servers } }, error);
}

AgentStore::Machine AgentStore::machine() const
{
    Machine machine { QString(), QSysInfo::machineHostName() };
    if (const auto config = readObject(CoreConstants::machineConfigPath())) {
        if (config->value(QStringLiteral("id")).isString())
            machine.id = config->value(QStringLiteral("id")).toString();
        if (config->value(QStringLiteral("name")).isString())
            machine.name = config->value(QStringLiteral("name")).toString();
    }
    return machine;
}

bool AgentStore::writeJson(const QString& path, const QJsonObject& object, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
