#pragma once

#include <QString>
#include <QUuid>

// One agent the set-up run made, as the done screen lists it.
struct AgentSummary
{
    QUuid id = QUuid::createUuid();
    QString name;
    QString scope; // "global" or "per-project"
    QString toolName; // the tool's display name

    bool operator==(const AgentSummary& other) const = default;
};
