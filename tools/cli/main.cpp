// The stand-in for the product command-line tool (see README.md).

#include "tools/cli/CliCommands.h"
#include "tools/cli/CliScenario.h"
#include "tools/cli/EventWriter.h"
#include "tools/cli/Invocation.h"
#include "tools/cli/InvocationLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <csignal>
#include <cstdio>
#include <qcoro/qcorotask.h>

namespace {

constexpr int usageStatus = 64;
constexpr int scenarioErrorStatus = 78;

// Reports a problem found before any command ran: a line on standard error
// and an error event on standard output, then the status.
int reportEarly(const QString& message, int status)
{
    std::fprintf(stderr, "quorvane: %s\n", message.toLocal8Bit().constData());
    EventWriter writer(false, 0);
    writer.raw(EventWriter::encode(QStringLiteral("error"), EventWriter::failure(message)) + '\n');
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvane"));

    // The arguments exactly as received, not as Qt's option handling sees them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    InvocationLog::append(qEnvironmentVariable("QUORVANE_CLI_LOG"), arguments, QDir::currentPath());

    QString error;
    const std::optional<Invocation> invocation = Invocation::parse(arguments, &error);
    if (!invocation)
        return reportEarly(error, usageStatus);

    const CliScenario scenario = CliScenario::load(qEnvironmentVariable("QUORVANE_CLI_SCENARIO"));
    if (!scenario.error().isEmpty())
        return reportEarly(scenario.error(), scenarioErrorStatus);
    std::optional<CommandBehaviour> behaviour
        = scenario.behaviourFor(invocation->scenarioKey(), arguments, QDir::currentPath(), &error);
    if (!behaviour)
        return reportEarly(error, scenarioErrorStatus);

    // Standard error carries chatter that the companion is expected to discard.
    std::fprintf(
        stderr, "quorvane (stand-in): running %s\n", invocation->scenarioKey().toLocal8Bit().constData());

    if (behaviour->ignoreTerminate)
        std::signal(SIGTERM, SIG_IGN);

    QNetworkAccessManager network;
    CliCommands commands(*invocation, std::move(*behaviour), &network);
    // A command that never waits finishes before the event loop runs; exit()
    // then would be lost, so the status is handed over through the loop.
    QCoro::connect(commands.run(), &app, [&app](int status) {
        QMetaObject::invokeMethod(
            &app, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
    });
    return QCoreApplication::exec();
}
