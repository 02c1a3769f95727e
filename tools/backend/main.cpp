// quorvane-backend: the reference back-end for tests and demos. Serves the API
// origin, the web origin and the user stream on one loopback port.
#include "tools/backend/BackendServer.h"
#include "tools/backend/BackendService.h"
#include "tools/backend/DemoScenario.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-backend"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reference back-end on 127.0.0.1 (tests and demos)"));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption releasesOption(QStringLiteral("releases"),
                                            QStringLiteral("Folder with latest.json and the release files."),
                                            QStringLiteral("DIR"));
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"), QStringLiteral("Scenario to play: demo."),
                                            QStringLiteral("NAME"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"), QStringLiteral("No request log on stderr."));
    parser.addOptions({portOption, releasesOption, scenarioOption, quietOption});
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "quorvane-backend: --port needs a number from 0 to 65535\n");
        return 2;
    }
    if (parser.isSet(scenarioOption) && parser.value(scenarioOption) != QLatin1String("demo")) {
        std::fprintf(stderr, "quorvane-backend: unknown scenario \"%s\" (known: demo)\n",
                     qPrintable(parser.value(scenarioOption)));
        return 2;
    }

    BackendService service;
    if (parser.isSet(releasesOption)) {
        const QFileInfo dir(parser.value(releasesOption));
        if (!dir.isDir()) {
            std::fprintf(stderr, "quorvane-backend: --releases %s is not a folder\n", qPrintable(dir.filePath()));
            return 2;
        }
        service.setReleasesDirectory(dir.absoluteFilePath());
    }
    BackendServer server(&service);
    server.setVerbose(!parser.isSet(quietOption));
    if (!server.listen(quint16(port))) {
        std::fprintf(stderr, "quorvane-backend: cannot listen on 127.0.0.1:%u: %s\n", port,
                     qPrintable(server.errorString()));
        return 1;
    }

    DemoScenario demo(&service);
    if (parser.isSet(scenarioOption))
        demo.start();

    std::printf("http://127.0.0.1:%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
