#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// One agent registered on this machine by the product tool: the record read
// from <agents folder>/<any name>/config.json. The program never writes these.
struct AgentInfo
{
    QString name; // also the record's identity in lists
    QString machine;
    QString machineId;
    QString publicKey;
    std::optional<QString> agentId;
    std::optional<QString> status;
    QString createdAt; // the sort key, compared as text
    QString apiUrl;
    std::optional<QString> templateName; // the "template" member
    std::optional<QString> scope;
    std::optional<QString> projectPath;

    // Files larger than this are not read (no real config.json comes near it).
    static constexpr qint64 maxConfigSize = 1024 * 1024;

    // Decodes one config.json: a JSON object with the required string members
    // name, machine, machineId, publicKey, createdAt and apiUrl, and the
    // optional string members agentId, status, template, scope and projectPath
    // (null counts as absent). Anything else is not an agent. Other members are
    // ignored.
    static std::optional<AgentInfo> decode(QByteArrayView json);

    // Every agent of CoreConstants::agentsDirectory(), newest createdAt first.
    // Never fails: a missing folder, hidden entries, entries that are not
    // folders (symbolic links included), unreadable or damaged files leave
    // those agents out.
    static QList<AgentInfo> loadAll();
    static QList<AgentInfo> loadAll(const QString& agentsDirectory);

    // What the dashboard shows under the name: "All projects" for scope
    // "global"; else the project path, with the home folder shown as "~"; else
    // the scope; else "Unknown".
    QString scopeLabel() const;
    QString scopeLabel(const QString& homeDirectory) const;

    bool operator==(const AgentInfo& other) const = default;
};
