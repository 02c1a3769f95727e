#include "platform/MimeAppsList.h"
#include "platform/XdgDesktopRegistration.h"
#include "platform/XdgUrlSchemeRegistration.h"

#include <QDir>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestXdgUrlSchemeRegistration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultsAreSetWithoutTouchingAnythingElse()
    {
        const QByteArray mine = "# mine\n"
                                "[Added Associations]\n"
                                "text/plain=gedit.desktop;\n"
                                "\n"
                                "[Default Applications]\n"
                                "text/html=firefox.desktop;\n"
                                "x-scheme-handler/quorvane=old.desktop;other.desktop;\n"
                                "\n"
                                "[Removed Associations]\n"
                                "image/png=quorvane.desktop;\n";
        const QByteArray type("x-scheme-handler/quorvane");
        QCOMPARE(MimeAppsList::defaultFor(mine, type), QStringLiteral("old.desktop"));
        QCOMPARE(MimeAppsList::defaultFor(mine, "text/plain"), std::nullopt); // an added association, not a default
        const std::optional<QByteArray> replaced = MimeAppsList::withDefault(mine, type, QStringLiteral("quorvane.desktop"));
        QVERIFY(replaced);
        QCOMPARE(*replaced, QByteArray(mine).replace("quorvane=old.desktop;other.desktop;", "quorvane=quorvane.desktop;"));
        const std::optional<QByteArray> added = MimeAppsList::withDefault(*replaced, "x-scheme-handler/other", QStringLiteral("o.desktop"));
        QVERIFY(added);
        QCOMPARE(*added, QByteArray(*replaced).replace("quorvane=quorvane.desktop;\n",
                                                       "quorvane=quorvane.desktop;\nx-scheme-handler/other=o.desktop;\n"));

        // No group (or no file) yet: the group is made; a file without a last
        // line break keeps its lines.
        QCOMPARE(MimeAppsList::withDefault(QByteArray(), type, QStringLiteral("quorvane.desktop")),
                 QByteArray("[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop;\n"));
        QCOMPARE(MimeAppsList::withDefault("[Added Associations]\na/b=c.desktop;", type, QStringLiteral("q.desktop")),
                 QByteArray("[Added Associations]\na/b=c.desktop;\n\n[Default Applications]\nx-scheme-handler/quorvane=q.desktop;\n"));
        // Far larger than any real file: left alone.
        QCOMPARE(MimeAppsList::withDefault(QByteArray(MimeAppsList::maximumSize + 1, '#'), type, QStringLiteral("q.desktop")),
                 std::nullopt);
    }

    // The desktop's own tools find the program as the handler of quorvane: links.
    void registersTheHandlerTheDesktopFinds()
    {
        QTemporaryDir home;
        const QString data = home.filePath(QStringLiteral("data"));
        const QString config = home.filePath(QStringLiteral("config"));
        const QString program = home.filePath(QStringLiteral("opt/quorvane $1/bin/quorvane-app"));
        XdgUrlSchemeRegistration registration(data + QStringLiteral("/applications"),
                                              config + QStringLiteral("/mimeapps.list"), program);
        QVERIFY(!registration.isRegistered());
        QCOMPARE(registration.registerHandler(), std::nullopt);
        QVERIFY(registration.isRegistered());
        const QByteArray exec = "\nExec=\"" + QFile::encodeName(home.path()) + "/opt/quorvane \\\\$1/bin/quorvane-app\" %u\n";
        QVERIFY(readFile(registration.entryPath()).contains(exec));

        // Another build elsewhere takes the entry over.
        XdgUrlSchemeRegistration moved(data + QStringLiteral("/applications"), config + QStringLiteral("/mimeapps.list"),
                                       QStringLiteral("/opt/other/bin/quorvane-app"));
        QVERIFY(!moved.isRegistered());
        QCOMPARE(moved.registerHandler(), std::nullopt);
        QVERIFY(moved.isRegistered());
        QVERIFY(!registration.isRegistered());

        const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        if (xdgMime.isEmpty())
            QSKIP("xdg-mime (xdg-utils) is not installed");
        QProcess query;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
        environment.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        environment.remove(QStringLiteral("DESKTOP_SESSION"));
        query.setProcessEnvironment(environment);
        query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/quorvane")});
        QVERIFY(query.waitForFinished(20000));
        QCOMPARE(query.readAllStandardOutput().trimmed(), QByteArray("quorvane.desktop"));
    }

    // The uninstall's clean-up takes away exactly what the registration wrote,
    // byte for byte.
    void uninstallClearsTheRegistration()
    {
        QTemporaryDir home;
        const QString data = home.filePath(QStringLiteral("data"));
        const QString config = home.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkpath(config));
        QFile mimeApps(config + QStringLiteral("/mimeapps.list"));
        QVERIFY(mimeApps.open(QIODevice::WriteOnly));
        // Bytes that are not UTF-8 in someone else's line stay as they are.
        const QByteArray theirs = "[Default Applications]\ntext/html=firefox.desktop;\nx-old/type=caf\xe9.desktop;\n";
        mimeApps.write(theirs);
        mimeApps.close();
        XdgUrlSchemeRegistration registration(data + QStringLiteral("/applications"), mimeApps.fileName(),
                                              QStringLiteral("/opt/quorvane/bin/quorvane-app"));
        QCOMPARE(registration.registerHandler(), std::nullopt);
        QCOMPARE(XdgDesktopRegistration(data, config).clearRegistrations(), 2);
        QVERIFY(!registration.isRegistered());
        QVERIFY(!QFile::exists(registration.entryPath()));
        QCOMPARE(readFile(mimeApps.fileName()), theirs);
    }

    void refusesUnusableProgramPaths()
    {
        QTemporaryDir home;
        for (const QString& program : {QStringLiteral("bin/quorvane-app"), QStringLiteral("/opt/a\nExec=evil")}) {
            XdgUrlSchemeRegistration registration(home.filePath(QStringLiteral("applications")),
                                                  home.filePath(QStringLiteral("mimeapps.list")), program);
            QVERIFY(registration.registerHandler().has_value());
            QVERIFY(!QFile::exists(registration.entryPath()));
            QVERIFY(!QFile::exists(home.filePath(QStringLiteral("mimeapps.list"))));
        }
    }
};

QTEST_GUILESS_MAIN(TestXdgUrlSchemeRegistration)
#include "tst_XdgUrlSchemeRegistration.moc"
