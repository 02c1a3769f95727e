#include "app/shell/Application.h"
#include "app/shell/CommandLine.h"
#include "app/shell/SingleInstance.h"
#include "app/shell/TrayShell.h"
#include "app/translations/Translations.h"
#include "platform/ProcessHardening.h"
#include "platform/SyslogSink.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
#ifndef QUORVANE_DEV_OVERRIDES
    // Before anything reads the key: no core file or debugger may see it.
    ProcessHardening::disableCoreDumps();
#endif
    CommandLine::describeApplication();
    if (CommandLine::asksForTextOnly(argc, argv)) {
        // Help and version need no display: answered before any GUI exists.
        QCoreApplication textOnly(argc, argv);
        CommandLine commandLine;
        commandLine.process(textOnly); // prints and ends the process
        return 0;
    }

    // On a Wayland desktop with XWayland, X11 it is (unless the person chose):
    // only an X11 window can be put where the tray was clicked, and the
    // popover belongs next to its icon.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // Our QML is compiled into the program: nothing to cache in the person's
    // ~/.cache, which would outlive an uninstall.
    qputenv("QML_DISABLE_DISK_CACHE", "1");
    QApplication app(argc, argv);
    Translations::install(app);
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvane"));
    QApplication::setDesktopFileName(QStringLiteral("quorvane"));
    // A tray program: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    CommandLine commandLine;
    commandLine.process(app);

    bool reportPending = false;
#ifdef QUORVANE_DEV_OVERRIDES
    reportPending = qEnvironmentVariable("QUORVANE_REPORT_PENDING") == QLatin1String("1");
#else
    SyslogSink::install();
#endif
#ifdef QUORVANE_DEV_OVERRIDES
    // Dev builds keep the lines on standard error unless asked for the journal.
    if (qEnvironmentVariable("QUORVANE_SYSLOG") == QLatin1String("1"))
        SyslogSink::install();
#endif

    const QList<QUrl> urls = commandLine.urls();

    SingleInstance instance;
    if (!instance.listen()) {
        // No socket of our own and no companion of ours answering: nothing is handed anywhere.
        if (!instance.anotherInstanceRuns()) {
            std::fprintf(stderr, "quorvane-app: %s\n", qPrintable(instance.errorString()));
            return 1;
        }
        // Another companion runs: hand it the URLs (or ask for the dashboard) and leave.
        bool delivered = true;
        if (commandLine.showPending())
            delivered = instance.send({SingleInstance::Message::Kind::showPending, {}});
        else if (urls.isEmpty())
            delivered = instance.send({SingleInstance::Message::Kind::reopen, {}});
        for (const QUrl& url : std::as_const(urls))
            delivered = instance.send({SingleInstance::Message::Kind::open, url}) && delivered;
        if (!delivered) {
            std::fprintf(stderr, "quorvane-app: %s\n", qPrintable(instance.errorString()));
            return 1;
        }
        return 0;
    }

    Application application({ commandLine.reportReady(), reportPending });
    TrayShell& trayShell = application.trayShell();
    QObject::connect(&instance, &SingleInstance::urlReceived, &trayShell,
                     [&trayShell](const QUrl& url) { trayShell.openURLs({url}); });
    QObject::connect(&instance, &SingleInstance::reopenRequested, &trayShell, [&application, &trayShell] {
        trayShell.reopen(application.windows().hasVisibleWindow());
    });
    QObject::connect(&instance, &SingleInstance::showPendingRequested, &trayShell, &TrayShell::showPopover);
    application.start();
    if (!urls.isEmpty())
        trayShell.openURLs(urls);
    if (commandLine.showPending())
        trayShell.showPopover();
    return app.exec();
}
