#include "tests/app/dashboard/HomeStateFixture.h"

#include <sys/stat.h>

// What the uninstall may wait for and what it may delete: a hanging
// "unregister" can be skipped, and only what the program made goes from
// ~/.quorvane, never through a link. Against the stand-in tool and real files
// under the test home.
class TestUninstallBounds : public HomeStateTestCase
{
    Q_OBJECT

    static bool isPresent(const QString& path)
    {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
    }

    static QStringList runUninstall(HomeState& state)
    {
        state.uninstall(false);
        if (!QTest::qWaitFor([&state] { return state.uninstallComplete(); }, 60'000))
            return { QStringLiteral("the uninstall did not finish") };
        return state.uninstallReport();
    }

private Q_SLOTS:
    // "Skip" stops the "unregister" that waits (it ignores SIGTERM here) and
    // the ones still to come; the rest of the uninstall goes on.
    void skippingTheUnregistering()
    {
        Fixture f(false);
        QVERIFY(f.writeAgent(QStringLiteral("alpha"), QStringLiteral("2025-03-01")));
        QVERIFY(f.writeAgent(QStringLiteral("beta"), QStringLiteral("2025-02-01")));
        QVERIFY(f.writeScenario({ { QStringLiteral("unregister"),
            QJsonObject {
                { QStringLiteral("hang"), true }, { QStringLiteral("ignoreTerminate"), true } } } }));
        HomeState& state = *f.state;
        state.reloadAgents();
        QCOMPARE(state.agents().size(), 2);
        state.uninstall(false);
        QTRY_COMPARE(childCount(), 1);
        // Started is not yet running: the tool has written down its run.
        QTRY_COMPARE(f.invocationsOf(QStringLiteral("unregister")).size(), 1);
        state.skipUnregistering();
        QTRY_VERIFY_WITH_TIMEOUT(state.uninstallComplete(), 60'000);
        QCOMPARE(childCount(), 0);
        const QStringList report = state.uninstallReport();
        QCOMPARE(report.mid(0, 2),
            QStringList({ QStringLiteral("Failed to remove agent \"alpha\""),
                QStringLiteral("Failed to remove agent \"beta\"") }));
        QVERIFY(report.contains(QStringLiteral("Removed local config and keys")));
        QCOMPARE(f.invocationsOf(QStringLiteral("unregister")).size(), 1);
    }

    // A linked ~/.quorvane is the person's folder: only the link goes.
    void linkedFolderIsKept()
    {
        Fixture f(false);
        QVERIFY(f.home.write(QStringLiteral("dotfiles/quorvane/notes.txt"), "my notes"));
        QVERIFY(f.home.write(QStringLiteral("dotfiles/quorvane/receipts.jsonl"), "{}\n"));
        QVERIFY(QFile::link(f.home.filePath(QStringLiteral("dotfiles/quorvane")),
            f.home.filePath(QStringLiteral(".quorvane"))));
        const QStringList report = runUninstall(*f.state);
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
        QVERIFY(f.home.write(QStringLiteral(".quorvane/receipts.jsonl"), "{}\n"));
        QVERIFY(f.home.write(QStringLiteral(".quorvane/receipts.jsonl.2"), "{}\n"));
        QVERIFY(f.home.write(QStringLiteral(".quorvane/mcp-servers.json"), "{}"));
        QVERIFY(f.home.write(QStringLiteral(".quorvane/notes.txt"), "my notes"));
        QVERIFY(f.home.write(QStringLiteral("projects/plan.txt"), "the plan"));
        QVERIFY(QFile::link(f.home.filePath(QStringLiteral("projects")),
            f.home.filePath(QStringLiteral(".quorvane/agents/alpha/projects"))));
        QVERIFY(f.writeScenario(
            { { QStringLiteral("unregister"), QJsonObject { { QStringLiteral("exitCode"), 2 } } } }));
        f.state->reloadAgents();
        const QStringList report = runUninstall(*f.state);
        QVERIFY2(
            report.contains(QStringLiteral("Removed local config and keys")), qPrintable(report.join(u'\n')));
        QCOMPARE(QDir(f.home.filePath(QStringLiteral(".quorvane")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList { QStringLiteral("notes.txt") });
        QCOMPARE(TestFiles::contentOf(f.home.filePath(QStringLiteral("projects/plan.txt"))),
            QByteArray("the plan"));
    }
};

QTEST_GUILESS_MAIN(TestUninstallBounds)
#include "tst_UninstallBounds.moc"
