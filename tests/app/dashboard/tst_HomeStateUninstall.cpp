#include "app/dashboard/Uninstall.h"
#include "app/tooling/ModelRuntimeServer.h"
#include "platform/ApplicationInstallation.h"
#include "platform/SecretServiceCredentialStore.h"
#include "platform/XdgAutostartLoginItem.h"
#include "platform/XdgDesktopRegistration.h"
#include "tests/app/dashboard/HomeStateFixture.h"
#include "tests/support/RecordingNotifier.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <sys/stat.h>

// The uninstall against the stand-in tool, the reference back-end, the
// session's gnome-keyring and real files under the test home: what it
// removes, what it must leave (the person's files, a linked folder, a
// packaged tool), what it must not leave running (the runtime's user unit),
// and that a hanging "unregister" can be skipped. systemctl and dpkg are
// stand-ins that record their calls and act on the test home as the real ones would.
class TestHomeStateUninstall : public HomeStateTestCase
{
    Q_OBJECT

    // Every file under root with a digest of its content.
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
    // Every entry under root whose name mentions quorvane, links included.
    static QStringList namedQuorvane(const QString& root)
    {
        QStringList found;
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (it.fileName().contains(QLatin1String("quorvane"), Qt::CaseInsensitive))
                found << QDir(root).relativeFilePath(path);
        }
        return found;
    }
    static bool isPresent(const QString& path)
    {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
    }
    // A platform that touches nothing outside the test folders.
    static HomeState::Platform platformIn(const Fixture& f)
    {
        HomeState::Platform platform;
        platform.cliBinaryPath = f.dir.filePath(QStringLiteral("no-cli"));
        platform.terminate = [] {};
        return platform;
    }
    // The whole uninstall; its report.
    static QStringList uninstall(Fixture& f, const HomeState::Platform& platform, bool removeRules = false)
    {
        f.state->setPlatform(platform);
        f.state->uninstall(removeRules);
        if (!QTest::qWaitFor([&f] { return f.state->uninstallComplete(); }, 60'000))
            return { QStringLiteral("<the uninstall did not complete>") };
        return f.state->uninstallReport();
    }
    // A stand-in systemctl that records its calls in f's folder, then runs body.
    static QString systemctl(const Fixture& f, const QByteArray& body)
    {
        const QString path = f.dir.filePath(QStringLiteral("systemctl"));
        const QByteArray calls = QFile::encodeName(f.dir.filePath(QStringLiteral("systemctl-calls")));
        return TestFiles::writeShellScript(path, "echo \"$*\" >> '" + calls + "'\n" + body) ? path
                                                                                            : QString();
    }

private Q_SLOTS:
    void uninstallsEverythingItSays()
    {
        SecretServiceCredentialStore keyring;
        Fixture f(true, &keyring);
        QVERIFY(f.machine);
        XdgAutostartLoginItem loginItem(
            f.home.filePath(QStringLiteral(".config/autostart")), QStringLiteral("/opt/q/bin/quorvane-app"));
        XdgDesktopRegistration registration(
            f.home.filePath(QStringLiteral(".local/share")), f.home.filePath(QStringLiteral(".config")));
        RecordingNotifier notifier;
        int terminated = 0;
        HomeState::Platform platform { &loginItem, &registration, &notifier, nullptr,
            [&terminated] { ++terminated; } };
        platform.cliBinaryPath = f.home.filePath(QStringLiteral("usr-local-bin/quorvane"));
        QVERIFY(!loginItem.registerItem());
        const QByteArray entry("[Desktop Entry]\nType=Application\nExec=quorvane-app %u\n"
                               "MimeType=x-scheme-handler/quorvane;\n");
        QVERIFY(f.home.write(QStringLiteral(".local/share/applications/quorvane.desktop"), entry));
        QVERIFY(f.home.write(QStringLiteral(".config/mimeapps.list"),
            "[Default "
            "Applications]\nx-scheme-handler/quorvane=quorvane.desktop\ntext/plain=editor.desktop\n"));
        QVERIFY(TestFiles::write(platform.cliBinaryPath, "#!/bin/sh\n", 0755));
        // What is not ours stays exactly as it was.
        QVERIFY(f.home.write(QStringLiteral(".config/autostart/editor.desktop"), entry));
        QVERIFY(f.home.write(QStringLiteral(".local/share/applications/quorvane-tools.desktop"), entry));
        QVERIFY(f.home.write(QStringLiteral("notes/todo.txt"), "buy milk"));
        QVERIFY(f.home.write(QStringLiteral("usr-local-bin/other-tool"), "#!/bin/sh\n"));
        QVERIFY(f.writeAgent(QStringLiteral("alpha"), QStringLiteral("2025-03-01")));
        QVERIFY(f.writeAgent(QStringLiteral("beta"), QStringLiteral("2025-02-01")));
        QVERIFY(f.writeAgent(QStringLiteral("gamma"), QStringLiteral("2025-01-01")));
        const auto status = [](const char* name, int exitCode) {
            return QJsonObject { { QStringLiteral("whenArgs"), QJsonArray { QLatin1String(name) } },
                { QStringLiteral("exitCode"), exitCode } };
        };
        QVERIFY(f.writeScenario(QStringLiteral("unregister"),
            { { QStringLiteral("cases"),
                QJsonArray { status("alpha", 4), status("beta", 0), status("gamma", 4) } } }));
        f.settings.setValue(QLatin1String(HomeState::mcpLlmSummaryKey), true);
        const MachineConfig machine = f.machine->config;
        const auto keyringItem = [&] {
            return keyring.read(CoreConstants::keychainService(), machine.machineIdLocal,
                CoreConstants::keychainAccessGroup());
        };
        QVERIFY(keyringItem());

        HomeState& state = *f.state;
        state.setPlatform(platform);
        state.reloadAgents();
        const QMap<QString, QByteArray> before = snapshot(f.home.path());
        QStringList statuses;
        connect(
            &state, &HomeState::uninstallStatusChanged, this, [&] { statuses << state.uninstallStatus(); });
        state.uninstall(true);
        // The login item goes before anything else, at once.
        QVERIFY(!loginItem.isRegistered());
        QVERIFY(state.isUninstalling());
        // A second uninstall while one runs starts nothing.
        state.uninstall(false);
        QTRY_VERIFY_WITH_TIMEOUT(state.uninstallComplete(), 60'000);

        QCOMPARE(state.uninstallReport(),
            QStringList({ QStringLiteral("Removed agent \"alpha\" locally (server was unreachable)"),
                QStringLiteral("Removed agent \"beta\""),
                QStringLiteral("Removed agent \"gamma\" locally (server was unreachable)"),
                QStringLiteral(
                    "Only local settings were removed. Visit the web dashboard to complete the process"),
                QStringLiteral("Removed machine from server"), QStringLiteral("Removed CLI binary"),
                QStringLiteral("Removed local config and keys"),
                QStringLiteral("Removed keychain credentials"),
                QStringLiteral("Cleared 2 desktop registrations"),
                QStringLiteral("Cleared preferences and notifications") }));
        QCOMPARE(statuses,
            QStringList({ QStringLiteral("Unregistering alpha (1/3)..."),
                QStringLiteral("Unregistering beta (2/3)..."), QStringLiteral("Unregistering gamma (3/3)..."),
                QStringLiteral("Cleaning up...") }));
        // Only the last agent takes the global rules with it.
        const QList<QStringList> unregisters = f.invocations(QStringLiteral("unregister"));
        QCOMPARE(unregisters.size(), 3);
        QCOMPARE(unregisters.at(0), Uninstall::unregisterArguments(QStringLiteral("alpha"), false));
        QCOMPARE(unregisters.at(1), Uninstall::unregisterArguments(QStringLiteral("beta"), false));
        QCOMPARE(unregisters.at(2), Uninstall::unregisterArguments(QStringLiteral("gamma"), true));
        QCOMPARE(unregisters.at(2).last(), QStringLiteral("--remove-global-rules"));

        // What the report says is gone is gone.
        QCOMPARE(f.requests(QStringLiteral("DELETE"), QStringLiteral("/machines/") + machine.id).size(), 1);
        QVERIFY(!keyringItem());
        QVERIFY(!state.property("mcpLlmSummary").toBool());
        QCOMPARE(notifier.withdrawn, 1);
        QMap<QString, QByteArray> expected = before;
        for (const QString& removed : { QStringLiteral(".config/autostart/quorvane.desktop"),
                 QStringLiteral(".local/share/applications/quorvane.desktop"),
                 QStringLiteral("usr-local-bin/quorvane") })
            QVERIFY2(expected.remove(removed) == 1, qPrintable(removed));
        expected.removeIf(
            [](const auto& file) { return file.key().startsWith(QLatin1String(".quorvane/")); });
        expected[QStringLiteral(".config/mimeapps.list")] = QCryptographicHash::hash(
            "[Default Applications]\ntext/plain=editor.desktop\n", QCryptographicHash::Sha256);
        QCOMPARE(snapshot(f.home.path()), expected);
        QVERIFY(!QFileInfo::exists(f.home.filePath(QStringLiteral(".quorvane"))));
        // "Quit" ends the program without the quit question.
        QCOMPARE(terminated, 0);
        state.quit();
        QCOMPARE(terminated, 1);
    }

    void neverRegisteredMachineWithNothingInstalled()
    {
        Fixture f(false);
        QCOMPARE(uninstall(f, platformIn(f)),
            QStringList({ QStringLiteral(
                              "Could not remove machine from server — visit the web dashboard to clean up"),
                QStringLiteral("Removed keychain credentials"),
                QStringLiteral("Cleared preferences and notifications") }));
        QVERIFY(f.invocations().isEmpty());
        for (const QJsonValue& request : f.backend.requests())
            QVERIFY(request.toObject().value(QLatin1String("method")).toString() != QLatin1String("DELETE"));
        QCOMPARE(snapshot(f.home.path()), (QMap<QString, QByteArray>()));
    }

    void agentLines()
    {
        const QList<std::pair<int, QString>> lines { { 2, QStringLiteral("Removal of \"a\" was denied") },
            { 3, QStringLiteral("Removal of \"a\" timed out waiting for approval") },
            { 1, QStringLiteral("Failed to remove agent \"a\"") },
            { -1, QStringLiteral("Failed to remove agent \"a\"") } };
        for (const auto& [status, line] : lines)
            QCOMPARE(Uninstall::agentLine(QStringLiteral("a"), status), line);
        QCOMPARE(Uninstall::desktopRegistrationsLine(1), QStringLiteral("Cleared 1 desktop registration"));
    }

    void deleteAppAndQuit()
    {
        Fixture f(false);
        int terminated = 0;
        HomeState::Platform platform = platformIn(f);
        platform.terminate = [&terminated] { ++terminated; };
        // Installed for every account: left in place, the person is told how.
        ApplicationInstallation system(QStringLiteral("/usr"), f.home.path());
        platform.installation = &system;
        f.state->setPlatform(platform);
        f.state->deleteAppAndQuit();
        QCOMPARE(terminated, 0);
        QCOMPARE(f.state->appRemovalAdvice(), system.removalAdvice());
        QVERIFY(QFileInfo::exists(QStringLiteral("/usr/bin")));

        // A self-contained installation in the home folder goes to the trash
        // (the test session's throw-away HOME), then the program ends.
        QTemporaryDir apps(QDir::homePath() + QStringLiteral("/apps-XXXXXX"));
        const QString prefix = apps.filePath(QStringLiteral("Quorvane"));
        QVERIFY(TestFiles::write(prefix + QStringLiteral("/bin/quorvane-app"), "#!/bin/sh\n", 0700));
        ApplicationInstallation own(prefix, QDir::homePath());
        platform.installation = &own;
        f.state->setPlatform(platform);
        f.state->deleteAppAndQuit();
        QCOMPARE(terminated, 1);
        QVERIFY(!QFileInfo::exists(prefix));
    }

    // "Skip" stops the "unregister" that waits (it ignores SIGTERM here) and
    // the ones still to come; the rest of the uninstall goes on.
    void skippingTheUnregistering()
    {
        Fixture f(false);
        QVERIFY(f.writeAgent(QStringLiteral("alpha"), QStringLiteral("2025-03-01")));
        QVERIFY(f.writeAgent(QStringLiteral("beta"), QStringLiteral("2025-02-01")));
        QVERIFY(f.writeScenario(QStringLiteral("unregister"),
            { { QStringLiteral("hang"), true }, { QStringLiteral("ignoreTerminate"), true } }));
        HomeState& state = *f.state;
        state.setPlatform(platformIn(f));
        state.reloadAgents();
        state.uninstall(false);
        // Started is not yet running: the tool has written down its run.
        QTRY_COMPARE(f.invocations(QStringLiteral("unregister")).size(), 1);
        QCOMPARE(childCount(), 1);
        state.skipUnregistering();
        QTRY_VERIFY_WITH_TIMEOUT(state.uninstallComplete(), 60'000);
        QCOMPARE(childCount(), 0);
        const QStringList report = state.uninstallReport();
        QCOMPARE(report.mid(0, 2),
            QStringList({ QStringLiteral("Failed to remove agent \"alpha\""),
                QStringLiteral("Failed to remove agent \"beta\"") }));
        QVERIFY(report.contains(QStringLiteral("Removed local config and keys")));
        QCOMPARE(f.invocations(QStringLiteral("unregister")).size(), 1);
    }

    // A linked ~/.quorvane is the person's folder: only the link goes.
    void linkedFolderIsKept()
    {
        Fixture f(false);
        QVERIFY(f.home.write(QStringLiteral("dotfiles/quorvane/notes.txt"), "my notes"));
        QVERIFY(f.home.write(QStringLiteral("dotfiles/quorvane/receipts.jsonl"), "{}\n"));
        QVERIFY(QFile::link(f.home.filePath(QStringLiteral("dotfiles/quorvane")),
            f.home.filePath(QStringLiteral(".quorvane"))));
        const QStringList report = uninstall(f, platformIn(f));
        QVERIFY2(
            report.contains(QStringLiteral("Removed local config and keys")), qPrintable(report.join(u'\n')));
        QVERIFY(!isPresent(f.home.filePath(QStringLiteral(".quorvane"))));
        QCOMPARE(TestFiles::contentOf(f.home.filePath(QStringLiteral("dotfiles/quorvane/notes.txt"))),
            QByteArray("my notes"));
        QVERIFY(isPresent(f.home.filePath(QStringLiteral("dotfiles/quorvane/receipts.jsonl"))));
    }

    // In a real ~/.quorvane only our entries go; the person's file stays, and
    // so does whatever a link inside ours points to.
    void onlyOurEntriesGo()
    {
        Fixture f(false);
        QVERIFY(f.writeAgent(QStringLiteral("alpha"), QStringLiteral("2025-03-01")));
        for (const char* ours : { "receipts.jsonl", "receipts.jsonl.2", "mcp-servers.json" })
            QVERIFY(f.home.write(QStringLiteral(".quorvane/") + QLatin1String(ours), "{}\n"));
        QVERIFY(f.home.write(QStringLiteral(".quorvane/notes.txt"), "my notes"));
        QVERIFY(f.home.write(QStringLiteral("projects/plan.txt"), "the plan"));
        QVERIFY(QFile::link(f.home.filePath(QStringLiteral("projects")),
            f.home.filePath(QStringLiteral(".quorvane/agents/alpha/projects"))));
        QVERIFY(f.writeScenario(QStringLiteral("unregister"), { { QStringLiteral("exitCode"), 2 } }));
        f.state->reloadAgents();
        const QStringList report = uninstall(f, platformIn(f));
        QVERIFY2(
            report.contains(QStringLiteral("Removed local config and keys")), qPrintable(report.join(u'\n')));
        QCOMPARE(QDir(f.home.filePath(QStringLiteral(".quorvane")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList { QStringLiteral("notes.txt") });
        QCOMPARE(TestFiles::contentOf(f.home.filePath(QStringLiteral("projects/plan.txt"))),
            QByteArray("the plan"));
    }

    // The runtime's enabled user unit (it would start at every log-in) and the
    // tool installed for this account only are gone.
    void enabledRuntimeUnitAndLocalCliAreGone()
    {
        Fixture f(false);
        const QString units = f.home.filePath(QStringLiteral(".config/systemd/user"));
        ModelRuntimeServer server(&f.network);
        server.setUnitDirectory(units);
        QVERIFY(TestFiles::write(
            server.unitPath(), server.unitText(QStringLiteral("/usr/local/bin/ollama")).toUtf8()));
        QVERIFY(QDir().mkpath(units + QStringLiteral("/default.target.wants")));
        QVERIFY(QFile::link(server.unitPath(), server.enabledLinkPath()));
        // systemctl --user disable drops the enabled link, as the user manager does.
        server.setSystemctl(systemctl(f,
            "[ \"$2\" = disable ] && rm -f '" + QFile::encodeName(server.enabledLinkPath()) + "'\nexit 0\n"));
        QVERIFY(
            TestFiles::write(f.home.filePath(QStringLiteral(".local/bin/quorvane")), "#!/bin/sh\n", 0755));
        QVERIFY(
            TestFiles::write(f.home.filePath(QStringLiteral(".local/bin/other-tool")), "#!/bin/sh\n", 0755));
        HomeState::Platform platform = platformIn(f);
        platform.cliBinaryPath.clear(); // wherever it is installed
        platform.runtimeServer = &server;
        // dpkg knows no package for it.
        platform.dpkg = f.dir.filePath(QStringLiteral("dpkg"));
        QVERIFY(TestFiles::writeShellScript(
            platform.dpkg, "echo \"dpkg-query: no path found matching pattern $2\" >&2\nexit 1\n"));

        const QStringList report = uninstall(f, platform);
        QVERIFY2(report.contains(
                     QStringLiteral("Stopped and removed the local model service (quorvane-ollama.service)")),
            qPrintable(report.join(u'\n')));
        QVERIFY2(report.contains(QStringLiteral("Removed CLI binary")), qPrintable(report.join(u'\n')));
        QCOMPARE(TestFiles::contentOf(f.dir.filePath(QStringLiteral("systemctl-calls"))),
            QByteArray("--user disable --now quorvane-ollama.service\n--user daemon-reload\n"));
        // No unit, no enabled link, nothing of ours; the rest stays.
        QCOMPARE(namedQuorvane(f.home.path()), QStringList());
        QVERIFY(QFileInfo::exists(f.home.filePath(QStringLiteral(".local/bin/other-tool"))));
    }

    void packagedCliIsLeftToThePackageManager()
    {
        Fixture f(false);
        HomeState::Platform platform = platformIn(f);
        platform.cliBinaryPath = f.dir.filePath(QStringLiteral("usr/bin/quorvane"));
        QVERIFY(TestFiles::write(platform.cliBinaryPath, "#!/bin/sh\n", 0755));
        platform.dpkg = f.dir.filePath(QStringLiteral("dpkg"));
        QVERIFY(TestFiles::writeShellScript(
            platform.dpkg, "[ \"$1\" = -S ] || exit 2\necho \"quorvane-cli: $2\"\n"));
        // Without a user manager and with no unit, systemctl is not asked.
        ModelRuntimeServer server(&f.network);
        server.setUnitDirectory(f.home.filePath(QStringLiteral(".config/systemd/user")));
        server.setSystemctl(systemctl(f, "exit 1\n"));
        platform.runtimeServer = &server;

        const QStringList report = uninstall(f, platform);
        QVERIFY2(report.contains(
                     QStringLiteral("The CLI at %1 belongs to the package quorvane-cli: remove it with "
                                    "\"sudo apt remove quorvane-cli\"")
                         .arg(platform.cliBinaryPath)),
            qPrintable(report.join(u'\n')));
        QVERIFY(QFileInfo::exists(platform.cliBinaryPath));
        QVERIFY(!report.join(u'\n').contains(QLatin1String("local model service")));
        QVERIFY(!QFileInfo::exists(f.dir.filePath(QStringLiteral("systemctl-calls"))));
    }
};

QTEST_GUILESS_MAIN(TestHomeStateUninstall)
#include "tst_HomeStateUninstall.moc"
