#include "tests/support/BackendProcess.h"
#include "tests/support/ProgramOutput.h"
#include "platform/FileCredentialStore.h"
#include "tests/support/StandInNotificationServer.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestMachine.h"
#include "tests/support/VirtualDesktop.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <optional>

namespace {

constexpr int processDeadlineMs = 10000;
const QRect screen = VirtualDesktop::screen();

QString noTrayLine()
{
    return QStringLiteral("Quorvane: no system tray found; new escalations are announced as desktop notifications");
}

} // namespace

// The real program on a real X server (Xvfb), with an XEmbed tray (trayer) or
// without any tray, against the reference back-end, driven and observed from
// outside with xdotool as a person's desktop would.
class TestAppOnDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        for (const char* tool : {"Xvfb", "trayer", "xdotool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));
        }
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside scripts/with-test-session");
        QVERIFY2(m_desktop.start(), qPrintable(m_desktop.lastError()));

        qputenv("QUORVANE_CREDENTIAL_STORE", "file");
        connect(&m_app, &QProcess::readyReadStandardOutput, this, [this] { m_output += m_app.readAllStandardOutput(); });
    }

    // A back-end of its own for each case: actions left pending by one case
    // would reach the next as escalations of their own.
    void init()
    {
        m_backend = std::make_unique<BackendProcess>();
        QVERIFY2(m_backend->isRunning(), qPrintable(m_backend->lastError()));
        qputenv("QUORVANE_API_BASE_URL", m_backend->url().toString().toUtf8());
        qputenv("QUORVANE_WEB_BASE_URL", m_backend->url().toString().toUtf8());
    }

    void cleanupTestCase()
    {
        stopApp();
    }

    void cleanup()
    {
        stopApp();
        // A key left down would repeat into the next program on this display.
        QCOMPARE(m_desktop.heldKeys(), QList<int>());
    }

    void popoverGrowsMenuQuitsAndTerminationIsQuiet()
    {
        TestHome home;
        QVERIFY(provision(home));
        QVERIFY2(m_desktop.startTray(), qPrintable(m_desktop.lastError()));
        startApp();
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("Quorvane: tray icon shown"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(trayIcon().has_value(), 10000);
        const QRect icon = trayIcon()->geometry;
        QTRY_VERIFY_WITH_TIMEOUT(m_backend->state().value(QLatin1String("streams")).toInt() >= 1
                                     || !m_backend->state().value(QLatin1String("streams")).toArray().isEmpty(),
                                 15000);

        // Qt Quick comes with the first window, not before: the views library
        // loads then, taking its models from the program.
        QVERIFY(!appMaps("libQt6Quick.so"));

        // Three escalations arriving one by one: the popover opens below the icon
        // at the first and grows with each, always wholly on screen.
        int height = 0;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!addAction(QStringLiteral("Bash")).isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(popover().has_value() && popover()->geometry.height() > height, 10000);
            QTest::qWait(300); // the last change of this step
            const QRect placed = popover()->geometry;
            QVERIFY2(screen.contains(placed), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(placed.x()).arg(placed.y()).arg(placed.width()).arg(placed.height())));
            QVERIFY(placed.top() > icon.bottom());
            height = placed.height();
        }
        QVERIFY(appMaps("libquorvane-views.so") && appMaps("libQt6Quick.so"));

        // A right click on the icon: the tray's menu; its last item, "Quit
        // Quorvane", asks the quit question (a window of its own); Escape answers
        // "Cancel" and the program goes on.
        programOutput(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(icon.center().x()),
                                        QString::number(icon.center().y()), QStringLiteral("click"), QStringLiteral("3")});
        QTRY_VERIFY_WITH_TIMEOUT(windowWhere([&](const QRect& rect) { return rect.top() <= icon.bottom() + 40 && rect.width() > 64 && rect.width() != 360; }).has_value(), 10000);
        programOutput(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Return")});
        const auto alert = [this] {
            return windowWhere([](const QRect& rect) { return rect.width() > 200 && rect.width() != 360 && rect.top() > 100; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(alert().has_value(), 10000);
        QVERIFY(m_desktop.pressKeys(alert()->id, {QStringLiteral("Escape")}));
        QTRY_VERIFY_WITH_TIMEOUT(!alert().has_value(), 10000);
        QVERIFY(m_app.state() == QProcess::Running);

        // The session's end (SIGTERM): no question, a normal exit.
        ::kill(pid_t(m_app.processId()), SIGTERM);
        QVERIFY(m_app.waitForFinished(processDeadlineMs));
        QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app.exitCode(), 0);
    }

    void withoutATrayANotificationOpensThePopover()
    {
        TestHome home;
        QVERIFY(provision(home));
        StandInNotificationServer server;
        QVERIFY(server.registerOnBus());
        m_desktop.stopTray();
        QByteArray errors;
        const QMetaObject::Connection collecting
            = connect(&m_app, &QProcess::readyReadStandardError, this, [&] { errors += m_app.readAllStandardError(); });
        startApp(QProcess::SeparateChannels);
        QTRY_VERIFY_WITH_TIMEOUT(m_backend->state().value(QLatin1String("streams")).toInt() >= 1
                                     || !m_backend->state().value(QLatin1String("streams")).toArray().isEmpty(),
                                 15000);

        // An escalation: a notification naming it, no window. Its risk is not
        // known: "Review" and "Deny", no "Approve".
        const QString risky = addAction(QStringLiteral("Bash"));
        QTRY_COMPARE_WITH_TIMEOUT(server.calls.size(), 1, 10000);
        QVERIFY(!popover().has_value());
        QVERIFY2(errors.contains(noTrayLine().toUtf8()), errors.constData());
        QCOMPARE(server.calls.first().body, QStringLiteral("demo (Bash): rm -rf build"));
        const QStringList reviewOrDeny{QStringLiteral("default"), QStringLiteral("Open"), QStringLiteral("review"),
                                       QStringLiteral("Review"), QStringLiteral("deny"), QStringLiteral("Deny")};
        QCOMPARE(server.calls.first().actions, reviewOrDeny);
        // "Deny" forged by another program does nothing; the server's own sends a signed denial.
        StandInNotificationServer::forgeSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("deny")});
        QTest::qWait(500);
        QVERIFY(decisionsOn(risky).isEmpty());
        server.emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("deny")});
        QTRY_COMPARE_WITH_TIMEOUT(decisionsOn(risky), (QStringList{QStringLiteral("denied")}), 10000);
        // A low-risk one may be approved there too.
        QVERIFY(!addAction(QStringLiteral("Bash"), QStringLiteral("low")).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(server.calls.size(), 2, 10000);
        QCOMPARE(server.calls.last().actions,
                 (reviewOrDeny + QStringList{QStringLiteral("approve"), QStringLiteral("Approve")}));
        const auto centred = [this] {
            const std::optional<Window> shown = popover();
            return shown && qAbs(shown->geometry.center().x() - screen.center().x()) <= 2
                && qAbs(shown->geometry.center().y() - screen.center().y()) <= 2;
        };
        const auto where = [&] {
            QStringList seen;
            for (const Window& window : windows())
                seen << QStringLiteral("%1,%2 %3x%4").arg(window.geometry.x()).arg(window.geometry.y())
                            .arg(window.geometry.width()).arg(window.geometry.height());
            return QStringLiteral("windows [%1]; the program wrote: %2")
                .arg(seen.join(QLatin1Char(' ')), QString::fromUtf8(errors.right(3000)));
        };
        // Starting the program again: the popover in the middle of the screen.
        QProcess second;
        second.setProcessEnvironment(m_app.processEnvironment());
        second.start(m_app.program(), {});
        QVERIFY(second.waitForFinished(processDeadlineMs));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY2_WITH_TIMEOUT(centred(), qPrintable(where()), 10000);
        QVERIFY(closeAsTheWindowManagerWould([this] { return popover(); }));

        // The notification's click: the same.
        server.click(41);
        QTRY_VERIFY2_WITH_TIMEOUT(centred(), qPrintable(where()), 10000);

        stopApp();
        disconnect(collecting);
    }

private:
    using Window = VirtualDesktop::Window;

    bool provision(TestHome& home)
    {
        FileCredentialStore store;
        if (!TestMachine::provision(*m_backend, store).has_value())
            return false;
        return home.write(QStringLiteral(".quorvane/agents/demo/config.json"),
                          "{\"name\":\"demo\",\"machine\":\"test-host\",\"machineId\":\"x\",\"publicKey\":\"k\","
                          "\"createdAt\":\"2025-01-01T00:00:00Z\",\"apiUrl\":\"http://127.0.0.1\"}");
    }

    // Standard error is the test's unless asked to keep it apart (the program's log lines).
    void startApp(QProcess::ProcessChannelMode errors = QProcess::ForwardedErrorChannel)
    {
        m_output.clear();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), m_desktop.display());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("QUORVANE_CLI"), m_runtime.filePath(QStringLiteral("no-cli")));
        m_app.setProcessEnvironment(environment);
        m_app.setProcessChannelMode(errors);
        m_app.start(qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/bin/quorvane-app"),
                    {QStringLiteral("--report-ready")});
        QVERIFY(m_app.waitForStarted(processDeadlineMs));
    }

    void stopApp()
    {
        if (m_app.state() == QProcess::NotRunning)
            return;
        m_app.kill();
        m_app.waitForFinished(processDeadlineMs);
    }

    bool appMaps(const char* library)
    {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(m_app.processId()));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
    }

    QList<Window> windows()
    {
        return m_desktop.windows(QStringLiteral("quorvane-app"));
    }

    std::optional<Window> windowWhere(const std::function<bool(const QRect&)>& test)
    {
        for (const Window& window : windows()) {
            if (test(window.geometry))
                return window;
        }
        return std::nullopt;
    }

    std::optional<Window> popover()
    {
        return windowWhere([](const QRect& rect) { return rect.width() == 360; });
    }

    std::optional<Window> trayIcon()
    {
        return windowWhere([](const QRect& rect) { return rect.width() < 64 && rect.height() < 64; });
    }

    // The new action's id; empty when the back-end refused it.
    QString addAction(const QString& tool, const QString& classification = {})
    {
        QJsonObject action{{QStringLiteral("agent_id"), QStringLiteral("agent-1")},
                           {QStringLiteral("agent_name"), QStringLiteral("demo")},
                           {QStringLiteral("tool_name"), tool},
                           {QStringLiteral("tool_input_summary"), QStringLiteral("rm -rf build")}};
        if (!classification.isEmpty())
            action.insert(QStringLiteral("classification"), classification);
        return m_backend->addAction(action).value(QStringLiteral("id")).toString();
    }

    // The decisions the back-end recorded for actionId.
    QStringList decisionsOn(const QString& actionId)
    {
        QStringList found;
        for (const QJsonValue& decision : m_backend->state().value(QStringLiteral("decisions")).toArray()) {
            if (decision[QStringLiteral("action_id")].toString() == actionId)
                found << decision[QStringLiteral("decision")].toString();
        }
        return found;
    }

    // The close button, pressed again until the window is gone (a window just
    // shown may not take the message yet).
    bool closeAsTheWindowManagerWould(const std::function<std::optional<Window>()>& find)
    {
        int sent = 0;
        QElapsedTimer waited;
        waited.start();
        const bool closed = QTest::qWaitFor(
            [&] {
                const std::optional<Window> shown = find();
                if (!shown)
                    return true;
                sent += m_desktop.closeWindow(shown->id) ? 1 : 0;
                QTest::qWait(500);
                return false;
            },
            3 * processDeadlineMs);
        if (!closed)
            qWarning("the window stayed after %d close messages in %lld ms; the program %s", sent, waited.elapsed(),
                     m_app.state() == QProcess::Running ? "runs" : "ended");
        return closed;
    }

    VirtualDesktop m_desktop;
    QProcess m_app;
    QByteArray m_output;
    QTemporaryDir m_runtime;
    std::unique_ptr<BackendProcess> m_backend;
};

QTEST_GUILESS_MAIN(TestAppOnDesktop)
#include "tst_AppOnDesktop.moc"
