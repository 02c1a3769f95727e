#include "platform/DesktopEntryText.h"
#include "platform/XdgAutostartLoginItem.h"
#include "platform/XdgUrlSchemeRegistration.h"
#include "tests/support/TestFiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The Exec line of the desktop entries we write: a path is quoted only when
// it holds a character the Desktop Entry format reserves, because launchers
// that split Exec on spaces themselves (xdg-open on a desktop it does not
// know) run a quoted word as it stands.
class TestDesktopEntryExec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void execArgument_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("argument"); // empty: refused

        QTest::newRow("plain") << QStringLiteral("/opt/quorvane/bin/quorvane-app")
                               << QStringLiteral("/opt/quorvane/bin/quorvane-app");
        QTest::newRow("home installation")
            << QStringLiteral("/home/ada/.local/opt/quorvane-1.2_x+y=z/bin/quorvane-app")
            << QStringLiteral("/home/ada/.local/opt/quorvane-1.2_x+y=z/bin/quorvane-app");
        QTest::newRow("percent, unquoted")
            << QStringLiteral("/opt/100%/quorvane-app") << QStringLiteral("/opt/100%%/quorvane-app");
        QTest::newRow("space") << QStringLiteral("/opt/my apps/quorvane-app")
                               << QStringLiteral("\"/opt/my apps/quorvane-app\"");
        QTest::newRow("dollar") << QStringLiteral("/opt/a$b/q") << QStringLiteral("\"/opt/a\\\\$b/q\"");
        QTest::newRow("backslash") << QStringLiteral("/opt/a\\b/q")
                                   << QStringLiteral("\"/opt/a\\\\\\\\b/q\"");
        for (const char* reserved : { "'", ">", "<", "~", "|", "&", ";", "*", "?", "#", "(", ")", "`" }) {
            const QString path = QStringLiteral("/opt/x") + QLatin1String(reserved) + QStringLiteral("y/q");
            const QString escaped = QLatin1String(reserved) == QLatin1String("`") ? QStringLiteral("\\\\`")
                                                                                  : QLatin1String(reserved);
            QTest::addRow("reserved %s", reserved)
                << path << (QStringLiteral("\"/opt/x") + escaped + QStringLiteral("y/q\""));
        }
        QTest::newRow("line break") << QStringLiteral("/opt/a\nExec=evil") << QString();
    }

    void execArgument()
    {
        QFETCH(QString, path);
        QFETCH(QString, argument);
        const std::optional<QString> written = DesktopEntryText::execArgument(path);
        QCOMPARE(written.value_or(QString()), argument);
    }

    void entriesOfAPlainInstallation()
    {
        QTemporaryDir home;
        const QString program = QStringLiteral("/opt/quorvane/bin/quorvane-app");
        XdgAutostartLoginItem login(home.filePath(QStringLiteral("autostart")), program);
        QCOMPARE(login.registerItem(), std::nullopt);
        QVERIFY(TestFiles::contentOf(login.entryPath()).contains("\nExec=/opt/quorvane/bin/quorvane-app\n"));
        XdgUrlSchemeRegistration scheme(home.filePath(QStringLiteral("applications")),
            home.filePath(QStringLiteral("mimeapps.list")), program);
        QCOMPARE(scheme.registerHandler(), std::nullopt);
        QVERIFY(
            TestFiles::contentOf(scheme.entryPath()).contains("\nExec=/opt/quorvane/bin/quorvane-app %u\n"));
    }

    // The link handler as Debian's xdg-open runs it on a desktop it does not
    // know (generic mode): the program gets the link.
    void xdgOpenInGenericModeRunsTheHandler()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
            QSKIP("xdg-open is not installed");
        QTemporaryDir home;
        const QString received = home.filePath(QStringLiteral("received"));
        const QString handler = home.filePath(QStringLiteral("opt/quorvane/bin/quorvane-app"));
        QVERIFY(TestFiles::writeShellScript(
            handler, "printf '%s\\n' \"$@\" > '" + QFile::encodeName(received) + "'\n"));
        const QString data = home.filePath(QStringLiteral("data"));
        const QString config = home.filePath(QStringLiteral("config"));
        XdgUrlSchemeRegistration scheme(
            data + QStringLiteral("/applications"), config + QStringLiteral("/mimeapps.list"), handler);
        QCOMPARE(scheme.registerHandler(), std::nullopt);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        environment.remove(QStringLiteral("DESKTOP_SESSION"));
        environment.remove(QStringLiteral("KDE_FULL_SESSION"));
        environment.remove(QStringLiteral("GNOME_DESKTOP_SESSION_ID"));
        environment.remove(QStringLiteral("BROWSER"));
        // xdg-open only looks for a scheme handler when there is a display;
        // the handler itself needs none.
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":0"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("XDG_DATA_DIRS"), home.filePath(QStringLiteral("none")));
        environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), home.filePath(QStringLiteral("none")));
        QProcess open;
        open.setProcessEnvironment(environment);
        open.start(QStringLiteral("xdg-open"), { QStringLiteral("quorvane://auth/callback?code=abc") });
        QVERIFY(open.waitForFinished(30000));
        QVERIFY2(open.exitCode() == 0, open.readAllStandardError().constData());
        QTRY_COMPARE(TestFiles::contentOf(received), QByteArray("quorvane://auth/callback?code=abc\n"));
    }
};

QTEST_GUILESS_MAIN(TestDesktopEntryExec)
#include "tst_DesktopEntryExec.moc"
