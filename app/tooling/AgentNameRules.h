#pragma once

#include "app/tooling/DetectedTool.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The names proposed for a new agent, in order.
const QStringList& defaultAgentNames();
// One of defaultAgentNames(), drawn uniformly at random.
QString randomDefaultAgentName();

// The message shown under the agent-name field, or none. An empty name is
// allowed (the product tool then picks one); spaces and line breaks at either
// end are ignored.
std::optional<QString> agentNameError(const QString& agentName);

// The name the set-up run gives its agents: the typed name without spaces
// and line breaks at either end, lower-cased, inner spaces turned into "-",
// every character other than a-z, 0-9 and "-" dropped, cut to 32 characters
// and without "-" at either end. It may be empty.
QString baseAgentName(const QString& agentName);

// Whether the configure screen may continue: some tool is governed and the
// name is acceptable.
bool canContinue(const QList<DetectedTool>& tools, const QString& agentName);
