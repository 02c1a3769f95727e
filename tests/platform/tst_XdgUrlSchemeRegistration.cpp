#include "platform/MimeAppsList.h"
#include "platform/XdgUrlSchemeRegistration.h"

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

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TestXdgUrlSchemeRegistration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editsKeepEverythingElse()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mimeapps.list"));
        QVERIFY(writeFile(path, "# mine\n"
                                "[Added Associations]\n"
                                "text/plain=gedit.desktop;quorvane.desktop;\n"
                                "\n"
                                "[Default Applications]\n"
                                "text/html=firefox.desktop;\n"
                                "x-scheme-handler/quorvane=old.desktop;\n"
                                "\n"
                                "[Removed Associations]\n"
                                "image/png=quorvane.desktop;\n"));
        MimeAppsList list(path);
        QCOMPARE(list.defaultFor(QStringLiteral("x-scheme-handler/quorvane")), QStringLiteral("old.desktop"));
        QCOMPARE(list.setDefault(QStringLiteral("x-scheme-handler/quorvane"), QStringLiteral("quorvane.desktop")),
                 std::nullopt);
        QCOMPARE(list.setDefault(QStringLiteral("x-scheme-handler/other"), QStringLiteral("other.desktop")), std::nullopt);
        QCOMPARE(readFile(path), QByteArray("# mine\n"
                                            "[Added Associations]\n"
                                            "text/plain=gedit.desktop;quorvane.desktop;\n"
                                            "\n"
                                            "[Default Applications]\n"
                                            "text/html=firefox.desktop;\n"
                                            "x-scheme-handler/quorvane=quorvane.desktop;\n"
                                            "x-scheme-handler/other=other.desktop;\n"
                                            "\n"
                                            "[Removed Associations]\n"
                                            "image/png=quorvane.desktop;\n"));

        // Removal takes ours out of every list and drops keys left empty.
        QCOMPARE(list.removeApplication(QStringLiteral("quorvane.desktop")), 3);
        QCOMPARE(readFile(path), QByteArray("# mine\n"
                                            "[Added Associations]\n"
                                            "text/plain=gedit.desktop;\n"
                                            "\n"
                                            "[Default Applications]\n"
                                            "text/html=firefox.desktop;\n"
                                            "x-scheme-handler/other=other.desktop;\n"
                                            "\n"
                                            "[Removed Associations]\n"));
        QCOMPARE(list.removeApplication(QStringLiteral("quorvane.desktop")), 0);

        // No file yet: the section is made.
        MimeAppsList fresh(dir.filePath(QStringLiteral("config/mimeapps.list")));
        QCOMPARE(fresh.defaultFor(QStringLiteral("x-scheme-handler/quorvane")), std::nullopt);
        QCOMPARE(fresh.setDefault(QStringLiteral("x-scheme-handler/quorvane"), QStringLiteral("quorvane.desktop")),
                 std::nullopt);
        QCOMPARE(readFile(fresh.path()), QByteArray("[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop;\n"));

        // A file far larger than any real one is left alone.
        const QString huge = dir.filePath(QStringLiteral("huge.list"));
        QVERIFY(writeFile(huge, QByteArray(2 * 1024 * 1024, 'x')));
        QVERIFY(MimeAppsList(huge).setDefault(QStringLiteral("a/b"), QStringLiteral("c.desktop")).has_value());
        QString error;
        QCOMPARE(MimeAppsList(huge).removeApplication(QStringLiteral("c.desktop"), &error), std::nullopt);
        QVERIFY(!error.isEmpty());
        QCOMPARE(QFile(huge).size(), qint64(2 * 1024 * 1024));
    }

    // The desktop's own tools find the program as the handler of quorvane: links.
    void registersTheHandlerTheDesktopFinds()
    {
        QTemporaryDir home;
        const QString data = home.filePath(QStringLiteral("data"));
        const QString config = home.filePath(QStringLiteral("config"));
        const QString program = home.filePath(QStringLiteral("opt/quorvane $1/bin/quorvane-app"));
        XdgUrlSchemeRegistration registration(data + QStringLiteral("/applications"),
                                              MimeAppsList(config + QStringLiteral("/mimeapps.list")), program);
        QVERIFY(!registration.isRegistered());
        QCOMPARE(registration.registerHandler(), std::nullopt);
        QVERIFY(registration.isRegistered());
        const QByteArray exec = "\nExec=\"" + QFile::encodeName(home.path()) + "/opt/quorvane \\\\$1/bin/quorvane-app\" %u\n";
        QVERIFY(readFile(registration.entryPath()).contains(exec));

        // Another build elsewhere takes the entry over.
        XdgUrlSchemeRegistration moved(data + QStringLiteral("/applications"),
                                       MimeAppsList(config + QStringLiteral("/mimeapps.list")),
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

    void refusesUnusableProgramPaths()
    {
        QTemporaryDir home;
        for (const QString& program : {QStringLiteral("bin/quorvane-app"), QStringLiteral("/opt/a\nExec=evil")}) {
            XdgUrlSchemeRegistration registration(home.filePath(QStringLiteral("applications")),
                                                  MimeAppsList(home.filePath(QStringLiteral("mimeapps.list"))), program);
            QVERIFY(registration.registerHandler().has_value());
            QVERIFY(!QFile::exists(registration.entryPath()));
            QVERIFY(!QFile::exists(home.filePath(QStringLiteral("mimeapps.list"))));
        }
    }
};

QTEST_GUILESS_MAIN(TestXdgUrlSchemeRegistration)
#include "tst_XdgUrlSchemeRegistration.moc"
