#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <optional>

// The files the tool keeps under <home>/.quorvane: one folder per agent with
// its config.json, the machine's identity written by the companion, and the
// MCP server inventory.
class AgentStore
{
public:
    struct Machine
    {
        QString id; // server-side identifier, empty when not registered
        QString name; // machine name, the host name when not registered
    };

    // The requested name, or that name followed by "-2", "-3"... when an
    // agent already holds it (kept within 32 characters).
    QString unusedName(const QString& requested) const;

    // Writes <agents>/<name>/config.json (folder 0700, file 0600).
    bool createAgent(const QString& name, const QJsonObject& config, QString* error) const;

    // The folder of the agent with this name: the folder of that name, or
    // else the folder whose config.json names it. Symbolic links are never
    // followed out of the agents folder.
    std::optional<QString> findAgent(const QString& name) const;

    // Sets "status" in the agent's config.json.
    bool setStatus(const QString& folder, const QString& status, QString* error) const;

    // Deletes the agent's folder; a symbolic link is removed, not followed.
    bool removeAgent(const QString& folder, QString* error) const;

    // Writes {"servers": servers} to mcp-servers.json.
    bool writeMcpServers(const QJsonArray& servers, QString* error) const;

    // The machine as recorded in machine/machine.json.
    Machine machine() const;

private:
    static bool writeJson(const QString& path, const QJsonObject& object, QString* error);
};
