#include "app/dashboard/Uninstall.h"
#include "platform/ApplicationInstallation.h"
#include "platform/SecretServiceCredentialStore.h"
#include "platform/XdgAutostartLoginItem.h"
#include "platform/XdgDesktopRegistration.h"
#include "tests/app/dashboard/HomeStateFixture.h"
#include "tests/support/RecordingNotifier.h"

#include <QCryptographicHash>
#include <QDirIterator>

// The uninstall against the stand-in tool, the reference back-end, the
// session's gnome-keyring and real files under the test home.
class TestHomeStateUninstall : public HomeStateTestCase
{
    Q_OBJECT

    // Every file under the test home with a digest of its content.
    static QMap<QString, QByteArray> snapshot(const QString& root)
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            files.insert(QDir(root).relativeFilePath(path),
                         QCryptographicHash::hash(TestFiles::contentOf(path), QCryptographicHash::Sha256));
        }
        return files;
    }

    struct Desktop
    {
        XdgAutostartLoginItem loginItem;
        XdgDesktopRegistration registration;
        RecordingNotifier notifier;
        QString cliBinary;

        explicit Desktop(const TestHome& home)
            : loginItem(home.filePath(QStringLiteral(".config/autostart")), QStringLiteral("/opt/q/bin/quorvane-app"))
            , registration(home.filePath(QStringLiteral(".local/share")), home.filePath(QStringLiteral(".config")))
            , cliBinary(home.filePath(QStringLiteral("usr-local-bin/quorvane")))
        {
        }
        HomeState::Platform platform(int* terminated = nullptr)
        {
            HomeState::Platform result{&loginItem, &registration, &notifier, nullptr, [terminated] {
                                           if (terminated)
                                               ++*terminated;
                                       }};
            result.cliBinaryPath = cliBinary;
            return result;
        }
    };

private Q_SLOTS:
    void uninstallsEverythingItSays()
    {
        SecretServiceCredentialStore keyring;
        Fixture f(true, &keyring);
        QVERIFY(f.machine);
        Desktop desktop(f.home);
        QVERIFY(!desktop.loginItem.registerItem());
        const QByteArray entry("[Desktop Entry]\nType=Application\nExec=quorvane-app %u\n"
                               "MimeType=x-scheme-handler/quorvane;\n");
        QVERIFY(f.home.write(QStringLiteral(".local/share/applications/quorvane.desktop"), entry));
        QVERIFY(f.home.write(QStringLiteral(".config/mimeapps.list"),
                             "[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop\n"
                             "text/plain=editor.desktop\n"));
        QVERIFY(TestFiles::write(desktop.cliBinary, "#!/bin/sh\n", 0755));
        // What is not ours stays exactly as it was.
        QVERIFY(f.home.write(QStringLiteral(".config/autostart/editor.desktop"), entry));
        QVERIFY(f.home.write(QStringLiteral(".local/share/applications/quorvane-tools.desktop"), entry));
        QVERIFY(f.home.write(QStringLiteral("notes/todo.txt"), "buy milk"));
        QVERIFY(f.home.write(QStringLiteral("usr-local-bin/other-tool"), "#!/bin/sh\n"));
        QVERIFY(f.writeAgent(QStringLiteral("alpha"), QStringLiteral("2025-03-01")));
        QVERIFY(f.writeAgent(QStringLiteral("beta"), QStringLiteral("2025-02-01")));
        QVERIFY(f.writeAgent(QStringLiteral("gamma"), QStringLiteral("2025-01-01")));
        const auto status = [](const char* name, int exitCode) {
            return QJsonObject{{QStringLiteral("whenArgs"), QJsonArray{QLatin1String(name)}},
                               {QStringLiteral("exitCode"), exitCode}};
        };
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("unregister"),
             QJsonObject{{QStringLiteral("cases"), QJsonArray{status("alpha", 4), status("beta", 0), status("gamma", 4)}}}}}));
        f.settings.setValue(QLatin1String(HomeState::mcpLlmSummaryKey), true);
        const MachineConfig machine = f.machine->config;
        const QString account = machine.machineIdLocal;
        QVERIFY(keyring.read(CoreConstants::keychainService(), account, CoreConstants::keychainAccessGroup()));

        HomeState& state = *f.state;
        int terminated = 0;
        state.setPlatform(desktop.platform(&terminated));
        state.reloadAgents();
        QCOMPARE(state.agents().size(), 3);
        const QMap<QString, QByteArray> before = snapshot(f.home.path());
        QStringList statuses;
        connect(&state, &HomeState::uninstallStatusChanged, this,
                [&] { statuses << state.uninstallStatus(); });

        state.uninstall(true);
        // The login item goes before anything else, at once.
        QVERIFY(!desktop.loginItem.isRegistered());
        QVERIFY(state.isUninstalling());
        QVERIFY(!state.uninstallComplete());
        // A second uninstall while one runs starts nothing.
        state.uninstall(false);
        QTRY_VERIFY_WITH_TIMEOUT(state.uninstallComplete(), 60'000);
        QVERIFY(state.isUninstalling());

        QCOMPARE(state.uninstallReport(),
                 QStringList({QStringLiteral("Removed agent \"alpha\" locally (server was unreachable)"),
                              QStringLiteral("Removed agent \"beta\""),
                              QStringLiteral("Removed agent \"gamma\" locally (server was unreachable)"),
                              QStringLiteral("Only local settings were removed. Visit the web dashboard to complete "
                                             "the process"),
                              QStringLiteral("Removed machine from server"),
                              QStringLiteral("Removed CLI binary"),
                              QStringLiteral("Removed local config and keys"),
                              QStringLiteral("Removed keychain credentials"),
                              QStringLiteral("Cleared 2 desktop registrations"),
                              QStringLiteral("Cleared preferences and notifications")}));
        QCOMPARE(statuses, QStringList({QStringLiteral("Unregistering alpha (1/3)..."),
                                        QStringLiteral("Unregistering beta (2/3)..."),
                                        QStringLiteral("Unregistering gamma (3/3)..."),
                                        QStringLiteral("Cleaning up...")}));
        // Only the last agent takes the global rules with it.
        const QList<QStringList> unregisters = f.invocationsOf(QStringLiteral("unregister"));
        QCOMPARE(unregisters.size(), 3);
        QCOMPARE(unregisters.at(0), Uninstall::unregisterArguments(QStringLiteral("alpha"), false));
        QCOMPARE(unregisters.at(1), Uninstall::unregisterArguments(QStringLiteral("beta"), false));
        QCOMPARE(unregisters.at(2).last(), QStringLiteral("--remove-global-rules"));
        QCOMPARE(unregisters.at(2).size(), 5);

        // What the report says is gone is gone.
        QCOMPARE(f.requests(QStringLiteral("DELETE"), QStringLiteral("/machines/") + machine.id).size(), 1);
        QVERIFY(!keyring.read(CoreConstants::keychainService(), account, CoreConstants::keychainAccessGroup()));
        QVERIFY(!state.property("mcpLlmSummary").toBool());
        QCOMPARE(desktop.notifier.withdrawn, 1);
        QCOMPARE(terminated, 0);
        QMap<QString, QByteArray> expected = before;
        for (const QString& removed : {QStringLiteral(".config/autostart/quorvane.desktop"),
                                       QStringLiteral(".local/share/applications/quorvane.desktop"),
                                       QStringLiteral("usr-local-bin/quorvane")})
            QVERIFY2(expected.remove(removed) == 1, qPrintable(removed));
        for (const QString& path : before.keys()) {
            if (path.startsWith(QLatin1String(".quorvane/")))
                expected.remove(path);
        }
        expected[QStringLiteral(".config/mimeapps.list")]
            = QCryptographicHash::hash("[Default Applications]\ntext/plain=editor.desktop\n", QCryptographicHash::Sha256);
        QCOMPARE(snapshot(f.home.path()), expected);
        QVERIFY(!QFileInfo::exists(f.home.filePath(QStringLiteral(".quorvane"))));

        // "Quit" ends the program without the quit question.
        state.quit();
        QCOMPARE(terminated, 1);
    }

    void neverRegisteredMachineWithNothingInstalled()
    {
        Fixture f(false);
        Desktop desktop(f.home);
        HomeState& state = *f.state;
        state.setPlatform(desktop.platform());
        state.uninstall(false);
        QTRY_VERIFY_WITH_TIMEOUT(state.uninstallComplete(), 60'000);
        QCOMPARE(state.uninstallReport(),
                 QStringList({QStringLiteral("Could not remove machine from server — visit the web dashboard to "
                                             "clean up"),
                              QStringLiteral("Removed keychain credentials"),
                              QStringLiteral("Cleared preferences and notifications")}));
        QVERIFY(f.invocations().isEmpty());
        for (const QJsonValue& request : f.backend.requests())
            QVERIFY(request.toObject().value(QLatin1String("method")).toString() != QLatin1String("DELETE"));
        QCOMPARE(snapshot(f.home.path()), (QMap<QString, QByteArray>()));
    }

    void deleteAppAndQuit()
    {
        Fixture f(false);
        Desktop desktop(f.home);
        HomeState& state = *f.state;
        int terminated = 0;
        HomeState::Platform platform = desktop.platform(&terminated);

        // Installed for every account: left in place, the person is told how.
        ApplicationInstallation system(QStringLiteral("/usr"), f.home.path());
        platform.installation = &system;
        state.setPlatform(platform);
        state.deleteAppAndQuit();
        QCOMPARE(terminated, 0);
        QCOMPARE(state.appRemovalAdvice(), system.removalAdvice());
        QVERIFY(QFileInfo::exists(QStringLiteral("/usr/bin")));

        // A self-contained installation in the home folder goes to the trash
        // (the test session's throw-away HOME), then the program ends.
        QTemporaryDir apps(QDir::homePath() + QStringLiteral("/apps-XXXXXX"));
        const QString prefix = apps.filePath(QStringLiteral("Quorvane"));
        QVERIFY(TestFiles::write(prefix + QStringLiteral("/bin/quorvane-app"), "#!/bin/sh\n", 0700));
        ApplicationInstallation own(prefix, QDir::homePath());
        platform.installation = &own;
        state.setPlatform(platform);
        state.deleteAppAndQuit();
        QCOMPARE(terminated, 1);
        QVERIFY(!QFileInfo::exists(prefix));
    }

    void agentLines_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::newRow("0") << 0 << QStringLiteral("Removed agent \"a\"");
        QTest::newRow("2") << 2 << QStringLiteral("Removal of \"a\" was denied");
        QTest::newRow("3") << 3 << QStringLiteral("Removal of \"a\" timed out waiting for approval");
        QTest::newRow("4") << 4 << QStringLiteral("Removed agent \"a\" locally (server was unreachable)");
        QTest::newRow("1") << 1 << QStringLiteral("Failed to remove agent \"a\"");
        QTest::newRow("-1") << -1 << QStringLiteral("Failed to remove agent \"a\"");
    }
    void agentLines()
    {
        QFETCH(int, status);
        QFETCH(QString, line);
        QCOMPARE(Uninstall::agentLine(QStringLiteral("a"), status), line);
        QCOMPARE(Uninstall::desktopRegistrationsLine(1), QStringLiteral("Cleared 1 desktop registration"));
        QCOMPARE(Uninstall::desktopRegistrationsLine(2), QStringLiteral("Cleared 2 desktop registrations"));
    }
};

QTEST_GUILESS_MAIN(TestHomeStateUninstall)
#include "tst_HomeStateUninstall.moc"
