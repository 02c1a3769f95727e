#pragma once

#include "core/LinkOutcome.h"

#include <QString>

#include <QCoroTask>

class QNetworkAccessManager;

// Links an agent to the account of a web session (the bearer token from
// sign-in), without a machine signature: the set-up wizard links the agents
// it has just made before the machine is involved.
namespace SessionAgentLink {

inline constexpr int timeoutMilliseconds = 60 * 1000;

// POST <api>/agents/link-session {"agent_id": agentId}. A URL that cannot be
// built, a transport failure or a refusal are all "not linked"; the token is
// only sent, never stored or logged.
QCoro::Task<LinkOutcome> linkAgent(QNetworkAccessManager& network, QString agentId, QString sessionToken);

} // namespace SessionAgentLink
