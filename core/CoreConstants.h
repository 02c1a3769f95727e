#pragma once

#include <QString>

// The names, origins and paths that every core service shares. Nothing else
// spells these values out: URLs the core builds begin with apiBaseURL().
//
// In builds configured with QUORVANE_DEV_OVERRIDES the environment variables
// QUORVANE_HOME, QUORVANE_API_BASE_URL, QUORVANE_WEB_BASE_URL,
// QUORVANE_RELEASE_HOST and QUORVANE_RELEASE_PUBKEY replace the compiled-in
// values (tests and the demo); a release build ignores them.
namespace CoreConstants {

QString apiBaseURL();
QString webBaseURL();
// The only host updates come from, and the publisher key they must be signed with.
QString releaseHost();
QString releasePublicKey();
inline constexpr char urlScheme[] = "quorvane";
QString keychainService();     // "<reverse-DNS prefix>.machine"
QString keychainAccessGroup(); // "<team id>.<reverse-DNS prefix>"

// The WebSocket origin derived from the API origin: https -> wss, http -> ws.
QString webSocketBaseURL();

// The home directory of the account running the program, from the account
// database (never $HOME), resolved once to its real path, and the ~/.quorvane
// layout below it.
QString homeDirectory();
QString quorvaneDirectory();
QString machineDirectory();
QString machineConfigPath();
QString publicKeyPath();
QString approverOnlyPath();
QString agentsDirectory();
QString mcpServersPath();
QString updateCheckLogPath();
QString receiptLogPath();

} // namespace CoreConstants
