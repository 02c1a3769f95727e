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
        platform.cliBinaryPath = f.dir.filePath(u"no-cli"_s);
        platform.terminate = [] {};
        return platform;
    }
    // The whole uninstall; its report.
    static QStringList uninstall(Fixture& f, const HomeState::Platform& platform, bool removeRules = false)
    {
        f.state->setPlatform(platform);
        f.state->uninstall(removeRules);
        if (!QTest::qWaitFor([&f] { return f.state->uninstallComplete(); }, 60'000))
            return { u"<the uninstall did not complete>"_s };
        return f.state->uninstallReport();
    }
    // A stand-in systemctl that records its calls in f's folder, then runs body.
    static QString systemctl(const Fixture& f, const QByteArray& body)
    {
        const QString path = f.dir.filePath(u"systemctl"_s);
        const QByteArray calls = QFile::encodeName(f.dir.filePath(u"systemctl-calls"_s));
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
            f.home.filePath(u".config/autostart"_s), u"/opt/q/bin/quorvane-app"_s);
        XdgDesktopRegistration registration(
            f.home.filePath(u".local/share"_s), f.home.filePath(u".config"_s));
        RecordingNotifier notifier;
        int terminated = 0;
        HomeState::Platform platform { &loginItem, &registration, &notifier, nullptr,
            [&terminated] { ++terminated; } };
        platform.cliBinaryPath = f.home.filePath(u"usr-local-bin/quorvane"_s);
        QVERIFY(!loginItem.registerItem());
        const QByteArray entry("[Desktop Entry]\nType=Application\nExec=quorvane-app %u\n"
                               "MimeType=x-scheme-handler/quorvane;\n");
        QVERIFY(f.home.write(u".local/share/applications/quorvane.desktop"_s, entry));
        QVERIFY(f.home.write(u".config/mimeapps.list"_s,
            "[Default "
            "Applications]\nx-scheme-handler/quorvane=quorvane.desktop\ntext/plain=editor.desktop\n"));
        QVERIFY(TestFiles::write(platform.cliBinaryPath, "#!/bin/sh\n", 0755));
        // What is not ours stays exactly as it was.
        QVERIFY(f.home.write(u".config/autostart/editor.desktop"_s, entry));
        QVERIFY(f.home.write(u".local/share/applications/quorvane-tools.desktop"_s, entry));
        QVERIFY(f.home.write(u"notes/todo.txt"_s, "buy milk"));
        QVERIFY(f.home.write(u"usr-local-bin/other-tool"_s, "#!/bin/sh\n"));
        QVERIFY(f.writeAgent(u"alpha"_s, u"2025-03-01"_s));
        QVERIFY(f.writeAgent(u"beta"_s, u"2025-02-01"_s));
        QVERIFY(f.writeAgent(u"gamma"_s, u"2025-01-01"_s));
        const auto status = [](const char* name, int exitCode) {
            return QJsonObject { { u"whenArgs"_s, QJsonArray { QLatin1String(name) } },
                { u"exitCode"_s, exitCode } };
        };
        QVERIFY(f.writeScenario(u"unregister"_s,
            { { u"cases"_s, QJsonArray { status("alpha", 4), status("beta", 0), status("gamma", 4) } } }));
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
            QStringList({ u"Removed agent \"alpha\" locally (server was unreachable)"_s,
                u"Removed agent \"beta\""_s, u"Removed agent \"gamma\" locally (server was unreachable)"_s,
                u"Only local settings were removed. Visit the web dashboard to complete the process"_s,
                u"Removed machine from server"_s, u"Removed CLI binary"_s, u"Removed local config and keys"_s,
                u"Removed the machine's stored credentials"_s, u"Cleared 2 desktop registrations"_s,
                u"Cleared preferences and notifications"_s }));
        QCOMPARE(statuses,
            QStringList({ u"Unregistering alpha (1/3)..."_s, u"Unregistering beta (2/3)..."_s,
                u"Unregistering gamma (3/3)..."_s, u"Cleaning up..."_s }));
        // Only the last agent takes the global rules with it.
        const QList<QStringList> unregisters = f.invocations(u"unregister"_s);
        QCOMPARE(unregisters.size(), 3);
        QCOMPARE(unregisters.at(0), Uninstall::unregisterArguments(u"alpha"_s, false));
        QCOMPARE(unregisters.at(1), Uninstall::unregisterArguments(u"beta"_s, false));
        QCOMPARE(unregisters.at(2), Uninstall::unregisterArguments(u"gamma"_s, true));
        QCOMPARE(unregisters.at(2).last(), u"--remove-global-rules"_s);

        // What the report says is gone is gone.
        QCOMPARE(f.requests(u"DELETE"_s, u"/machines/"_s + machine.id).size(), 1);
        QVERIFY(!keyringItem());
        QVERIFY(!state.property("mcpLlmSummary").toBool());
        QCOMPARE(notifier.withdrawn, 1);
        QMap<QString, QByteArray> expected = before;
        for (const QString& removed : { u".config/autostart/quorvane.desktop"_s,
                 u".local/share/applications/quorvane.desktop"_s, u"usr-local-bin/quorvane"_s })
            QVERIFY2(expected.remove(removed) == 1, qPrintable(removed));
        expected.removeIf(
            [](const auto& file) { return file.key().startsWith(QLatin1String(".quorvane/")); });
        expected[u".config/mimeapps.list"_s] = QCryptographicHash::hash(
            "[Default Applications]\ntext/plain=editor.desktop\n", QCryptographicHash::Sha256);
        QCOMPARE(snapshot(f.home.path()), expected);
        QVERIFY(!QFileInfo::exists(f.home.filePath(u".quorvane"_s)));
        // "Quit" ends the program without the quit question.
        QCOMPARE(terminated, 0);
        state.quit();
        QCOMPARE(terminated, 1);
    }

    void neverRegisteredMachineWithNothingInstalled()
    {
        Fixture f(false);
        QCOMPARE(uninstall(f, platformIn(f)),
            QStringList({ u"Could not remove machine from server — visit the web dashboard to clean up"_s,
                u"Removed the machine's stored credentials"_s, u"Cleared preferences and notifications"_s }));
        QVERIFY(f.invocations().isEmpty());
        for (const QJsonValue& request : f.backend.requests())
            QVERIFY(request.toObject().value(QLatin1String("method")).toString() != QLatin1String("DELETE"));
        QCOMPARE(snapshot(f.home.path()), (QMap<QString, QByteArray>()));
    }

    void agentLines()
    {
        const QList<std::pair<int, QString>> lines { { 2, u"Removal of \"a\" was denied"_s },
            { 3, u"Removal of \"a\" timed out waiting for approval"_s },
            { 1, u"Failed to remove agent \"a\""_s }, { -1, u"Failed to remove agent \"a\""_s } };
        for (const auto& [status, line] : lines)
            QCOMPARE(Uninstall::agentLine(u"a"_s, status), line);
        QCOMPARE(Uninstall::desktopRegistrationsLine(1), u"Cleared 1 desktop registration"_s);
    }

    void deleteAppAndQuit()
    {
        Fixture f(false);
        int terminated = 0;
        HomeState::Platform platform = platformIn(f);
        platform.terminate = [&terminated] { ++terminated; };
        // Installed for every account: left in place, the person is told how.
        ApplicationInstallation system(u"/usr"_s, f.home.path());
        platform.installation = &system;
        f.state->setPlatform(platform);
        f.state->deleteAppAndQuit();
        QCOMPARE(terminated, 0);
        QCOMPARE(f.state->appRemovalAdvice(), system.removalAdvice());
        QVERIFY(QFileInfo::exists(u"/usr/bin"_s));

        // A self-contained installation in the home folder goes to the trash
        // (the test session's throw-away HOME), then the program ends.
        QTemporaryDir apps(QDir::homePath() + u"/apps-XXXXXX"_s);
        const QString prefix = apps.filePath(u"Quorvane"_s);
        QVERIFY(TestFiles::write(prefix + u"/bin/quorvane-app"_s, "#!/bin/sh\n", 0700));
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
        QVERIFY(f.writeAgent(u"alpha"_s, u"2025-03-01"_s));
        QVERIFY(f.writeAgent(u"beta"_s, u"2025-02-01"_s));
        QVERIFY(f.writeScenario(u"unregister"_s, { { u"hang"_s, true }, { u"ignoreTerminate"_s, true } }));
        HomeState& state = *f.state;
        state.setPlatform(platformIn(f));
        state.reloadAgents();
        state.uninstall(false);
        // Started is not yet running: the tool has written down its run.
        QTRY_COMPARE(f.invocations(u"unregister"_s).size(), 1);
        QCOMPARE(childCount(), 1);
        state.skipUnregistering();
        QTRY_VERIFY_WITH_TIMEOUT(state.uninstallComplete(), 60'000);
        QCOMPARE(childCount(), 0);
        const QStringList report = state.uninstallReport();
        QCOMPARE(report.mid(0, 2),
            QStringList({ u"Failed to remove agent \"alpha\""_s, u"Failed to remove agent \"beta\""_s }));
        QVERIFY(report.contains(u"Removed local config and keys"_s));
        QCOMPARE(f.invocations(u"unregister"_s).size(), 1);
    }

    // A linked ~/.quorvane is the person's folder: only the link goes.
    void linkedFolderIsKept()
    {
        Fixture f(false);
        QVERIFY(f.home.write(u"dotfiles/quorvane/notes.txt"_s, "my notes"));
        QVERIFY(f.home.write(u"dotfiles/quorvane/receipts.jsonl"_s, "{}\n"));
        QVERIFY(QFile::link(f.home.filePath(u"dotfiles/quorvane"_s), f.home.filePath(u".quorvane"_s)));
        const QStringList report = uninstall(f, platformIn(f));
        QVERIFY2(report.contains(u"Removed local config and keys"_s), qPrintable(report.join(u'\n')));
        QVERIFY(!isPresent(f.home.filePath(u".quorvane"_s)));
        QCOMPARE(
            TestFiles::contentOf(f.home.filePath(u"dotfiles/quorvane/notes.txt"_s)), QByteArray("my notes"));
        QVERIFY(isPresent(f.home.filePath(u"dotfiles/quorvane/receipts.jsonl"_s)));
    }

    // In a real ~/.quorvane only our entries go; the person's file stays, and
    // so does whatever a link inside ours points to.
    void onlyOurEntriesGo()
    {
        Fixture f(false);
        QVERIFY(f.writeAgent(u"alpha"_s, u"2025-03-01"_s));
        for (const char* ours : { "receipts.jsonl", "receipts.jsonl.2", "mcp-servers.json" })
            QVERIFY(f.home.write(u".quorvane/"_s + QLatin1String(ours), "{}\n"));
        QVERIFY(f.home.write(u".quorvane/notes.txt"_s, "my notes"));
        QVERIFY(f.home.write(u"projects/plan.txt"_s, "the plan"));
        QVERIFY(QFile::link(
            f.home.filePath(u"projects"_s), f.home.filePath(u".quorvane/agents/alpha/projects"_s)));
        QVERIFY(f.writeScenario(u"unregister"_s, { { u"exitCode"_s, 2 } }));
        f.state->reloadAgents();
        const QStringList report = uninstall(f, platformIn(f));
        QVERIFY2(report.contains(u"Removed local config and keys"_s), qPrintable(report.join(u'\n')));
        QCOMPARE(QDir(f.home.filePath(u".quorvane"_s))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList { u"notes.txt"_s });
        QCOMPARE(TestFiles::contentOf(f.home.filePath(u"projects/plan.txt"_s)), QByteArray("the plan"));
    }

    // The runtime's enabled user unit (it would start at every log-in) and the
    // tool installed for this account only are gone.
    void enabledRuntimeUnitAndLocalCliAreGone()
    {
        Fixture f(false);
        const QString units = f.home.filePath(u".config/systemd/user"_s);
        ModelRuntimeServer server(&f.network);
        server.setUnitDirectory(units);
        QVERIFY(TestFiles::write(server.unitPath(), server.unitText(u"/usr/local/bin/ollama"_s).toUtf8()));
        QVERIFY(QDir().mkpath(units + u"/default.target.wants"_s));
        QVERIFY(QFile::link(server.unitPath(), server.enabledLinkPath()));
        // systemctl --user disable drops the enabled link, as the user manager does.
        server.setSystemctl(systemctl(f,
            "[ \"$2\" = disable ] && rm -f '" + QFile::encodeName(server.enabledLinkPath()) + "'\nexit 0\n"));
        QVERIFY(TestFiles::write(f.home.filePath(u".local/bin/quorvane"_s), "#!/bin/sh\n", 0755));
        QVERIFY(TestFiles::write(f.home.filePath(u".local/bin/other-tool"_s), "#!/bin/sh\n", 0755));
        HomeState::Platform platform = platformIn(f);
        platform.cliBinaryPath.clear(); // wherever it is installed
        platform.runtimeServer = &server;
        // dpkg knows no package for it.
        platform.dpkg = f.dir.filePath(u"dpkg"_s);
        QVERIFY(TestFiles::writeShellScript(
            platform.dpkg, "echo \"dpkg-query: no path found matching pattern $2\" >&2\nexit 1\n"));

        const QStringList report = uninstall(f, platform);
        QVERIFY2(report.contains(u"Stopped and removed the local model service (quorvane-ollama.service)"_s),
            qPrintable(report.join(u'\n')));
        QVERIFY2(report.contains(u"Removed CLI binary"_s), qPrintable(report.join(u'\n')));
        QCOMPARE(TestFiles::contentOf(f.dir.filePath(u"systemctl-calls"_s)),
            QByteArray("--user disable --now quorvane-ollama.service\n--user daemon-reload\n"));
        // No unit, no enabled link, nothing of ours; the rest stays.
        QCOMPARE(namedQuorvane(f.home.path()), QStringList());
        QVERIFY(QFileInfo::exists(f.home.filePath(u".local/bin/other-tool"_s)));
    }

    void packagedCliIsLeftToThePackageManager()
    {
        Fixture f(false);
        HomeState::Platform platform = platformIn(f);
        platform.cliBinaryPath = f.dir.filePath(u"usr/bin/quorvane"_s);
        QVERIFY(TestFiles::write(platform.cliBinaryPath, "#!/bin/sh\n", 0755));
        platform.dpkg = f.dir.filePath(u"dpkg"_s);
        QVERIFY(TestFiles::writeShellScript(
            platform.dpkg, "[ \"$1\" = -S ] || exit 2\necho \"quorvane-cli: $2\"\n"));
        // Without a user manager and with no unit, systemctl is not asked.
        ModelRuntimeServer server(&f.network);
        server.setUnitDirectory(f.home.filePath(u".config/systemd/user"_s));
        server.setSystemctl(systemctl(f, "exit 1\n"));
        platform.runtimeServer = &server;

        const QStringList report = uninstall(f, platform);
        QVERIFY2(report.contains(u"The CLI at %1 belongs to the package quorvane-cli: remove it with "
                                 "\"sudo apt remove quorvane-cli\""_s.arg(platform.cliBinaryPath)),
            qPrintable(report.join(u'\n')));
        QVERIFY(QFileInfo::exists(platform.cliBinaryPath));
        QVERIFY(!report.join(u'\n').contains(QLatin1String("local model service")));
        QVERIFY(!QFileInfo::exists(f.dir.filePath(u"systemctl-calls"_s)));
    }
};

QTEST_GUILESS_MAIN(TestHomeStateUninstall)
#include "tst_HomeStateUninstall.moc"
