// quorvane-updater: finishes a self-update after the program has quit.
//
//   quorvane-updater --wait-pid PID --archive FILE --signature SIG --public-key KEY
//                    --version VERSION --installed-version VERSION --prefix PREFIX
//                    --work-dir DIR --log FILE
//   quorvane-updater --repair PREFIX --log FILE
//
// The program starts it detached with its output discarded; everything it
// does goes to the update log.
#include "core/InstallationSwap.h"
#include "core/UpdateLog.h"
#include "tools/updater/Updater.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const auto option = [](const char* name) {
        return QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("VALUE"));
    };
    const QCommandLineOption waitPid = option("wait-pid"), archive = option("archive"), signature = option("signature"),
                             publicKey = option("public-key"), version = option("version"),
                             installedVersion = option("installed-version"), prefix = option("prefix"),
                             workDir = option("work-dir"), logPath = option("log"), repair = option("repair");
    parser.addOptions({waitPid, archive, signature, publicKey, version, installedVersion, prefix, workDir, logPath,
                       repair});
    if (!parser.parse(app.arguments()) || !parser.isSet(logPath)) {
        std::fputs("quorvane-updater: usage error\n", stderr);
        return 2;
    }
    const QString log = parser.value(logPath);

    if (parser.isSet(repair)) {
        for (const QString& action : InstallationSwap::repair(parser.value(repair)))
            UpdateLog::appendTo(log, QStringLiteral("updater: ") + action);
        return 0;
    }
    if (!parser.isSet(prefix)) {
        UpdateLog::appendTo(log, QStringLiteral("updater: REFUSED: no --prefix to update or start"));
        return 2;
    }
    // Anything else missing is refused by the updater, which then starts the
    // program again.
    Updater::Options options;
    options.waitPid = parser.value(waitPid).toLongLong();
    options.archivePath = parser.value(archive);
    options.signature = parser.value(signature);
    options.publicKey = parser.value(publicKey);
    options.version = parser.value(version);
    options.installedVersion = parser.value(installedVersion);
    options.prefix = parser.value(prefix);
    options.workDirectory = parser.value(workDir);
    options.logPath = log;
    return Updater(std::move(options)).run();
}
