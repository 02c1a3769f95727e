#pragma once

#include <QString>

// A stand-in for the model runtime's command: "serve" runs the reference
// back-end on the port of OLLAMA_HOST (a real HTTP server answering there),
// "list" prints a model list naming a Gemma model. Anything else exits 2.
namespace StandInRuntime {

// The script's text (write it with TestFiles::writeShellScript).
QByteArray servingScript();

// A loopback port that was free a moment ago.
quint16 freePort();

} // namespace StandInRuntime
