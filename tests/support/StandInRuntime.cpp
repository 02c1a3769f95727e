#include "tests/support/StandInRuntime.h"

#include "tests/support/BackendProcess.h"

#include <QFile>
#include <QTcpServer>

namespace StandInRuntime {

QByteArray servingScript()
{
    return "case \"$1\" in\n"
           "serve) exec '"
        + QFile::encodeName(BackendProcess::executablePath())
        + "' --port \"${OLLAMA_HOST##*:}\" --quiet >/dev/null ;;\n"
          "list) printf 'NAME          ID    SIZE\\ngemma4:e4b    abc   9.6 GB\\n' ;;\n"
          "*) exit 2 ;;\n"
          "esac\n";
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace StandInRuntime
