#include "platform/ApplicationInstallation.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Which installations may go to the trash, and that one really does. The
// trash is the one of the test session's throw-away HOME.
class TestApplicationInstallation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kinds();
    void movesASelfContainedInstallationToTheTrash();
};

void TestApplicationInstallation::kinds()
{
    QTemporaryDir home;
    const QString own = home.filePath(QStringLiteral("Apps/Quorvane"));
    QVERIFY(TestFiles::write(own + QStringLiteral("/bin/quorvane-app"), "#!/bin/sh\n", 0700));
    const QString shared = home.filePath(QStringLiteral(".local"));
    QVERIFY(TestFiles::write(shared + QStringLiteral("/bin/quorvane-app"), "#!/bin/sh\n", 0700));
    QVERIFY(TestFiles::write(shared + QStringLiteral("/bin/editor"), "#!/bin/sh\n", 0700));

    const ApplicationInstallation userLocal(own, home.path());
    QVERIFY(userLocal.isUserLocal());
    QVERIFY(!userLocal.isSystemWide());

    const ApplicationInstallation sharedPrefix(shared, home.path());
    QVERIFY(!sharedPrefix.isUserLocal());
    QVERIFY(!sharedPrefix.isSystemWide());
    QVERIFY(sharedPrefix.removalAdvice().contains(QStringLiteral("by hand")));
    QCOMPARE(sharedPrefix.moveToTrash(), sharedPrefix.removalAdvice());
    QVERIFY(QFileInfo::exists(shared + QStringLiteral("/bin/editor")));

    const ApplicationInstallation system(QStringLiteral("/usr"), home.path());
    QVERIFY(system.isSystemWide());
    QVERIFY(!system.isUserLocal());
    QVERIFY(system.removalAdvice().contains(QStringLiteral("package manager")));
    QVERIFY(system.moveToTrash().has_value());

    // The home folder itself, or a prefix beside it that merely shares its
    // name's beginning, is not inside it.
    QVERIFY(ApplicationInstallation(home.path(), home.path()).isSystemWide());
    QVERIFY(ApplicationInstallation(home.path() + QStringLiteral("-other"), home.path()).isSystemWide());
}

void TestApplicationInstallation::movesASelfContainedInstallationToTheTrash()
{
    const QString home = QDir::homePath();
    QVERIFY2(home.startsWith(QDir::tempPath() + QLatin1Char('/')),
             "run inside scripts/with-test-session (a throw-away HOME)");
    QTemporaryDir apps(home + QStringLiteral("/apps-XXXXXX"));
    const QString prefix = apps.filePath(QStringLiteral("Quorvane"));
    QVERIFY(TestFiles::write(prefix + QStringLiteral("/bin/quorvane-app"), "#!/bin/sh\n", 0700));
    QVERIFY(TestFiles::write(prefix + QStringLiteral("/lib/quorvane/libquorvane-views.so"), "elf"));

    const ApplicationInstallation installation(prefix, home);
    QVERIFY(installation.isUserLocal());
    QCOMPARE(installation.moveToTrash(), std::nullopt);
    QVERIFY(!QFileInfo::exists(prefix));
    // The rest of the folder it lay in is untouched.
    QVERIFY(QFileInfo(apps.path()).isDir());
}

QTEST_GUILESS_MAIN(TestApplicationInstallation)
#include "tst_ApplicationInstallation.moc"
