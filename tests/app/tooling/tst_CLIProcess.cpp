#include "tests/app/tooling/CLIServiceFixture.h"

// The product tool started and left running (its handle stops it) and run
// detached, against the stand-in tool.
class TestCLIProcess : public QObject, private CLIServiceFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { checkStandIn(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void startChunkMode();
    void startStops_data();
    void startStops();
    void detached_data();
    void detached();
};

void TestCLIProcess::startChunkMode()
{
    // Every line reaches us in two writes with a pause between them.
    writeScenario({ { QStringLiteral("download-model"),
        QJsonObject { { QStringLiteral("steps"), 3 }, { QStringLiteral("stepDelayMs"), 0 },
            { QStringLiteral("splitLines"), true }, { QStringLiteral("splitDelayMs"), 60 },
            { QStringLiteral("malformed"), QJsonArray { QStringLiteral(""), QStringLiteral("   ") } } } } });
    CLIService service;
    QList<CLIEvent> events;
    const CLIResult<std::shared_ptr<CLIProcess>> started
        = QCoro::waitFor(service.start({ QStringLiteral("download-model"), QStringLiteral("--wizard") },
            [&events](const CLIEvent& e) { events.append(e); }));
    QVERIFY(started.ok());
    const std::shared_ptr<CLIProcess> handle = started.value();
    QVERIFY(handle->processId() > 0);
    QTRY_VERIFY(handle->isFinished());

    QStringList types;
    for (const CLIEvent& event : events)
        types.append(event.type);
    QCOMPARE(types,
        (QStringList { QStringLiteral("progress"), QStringLiteral("progress"), QStringLiteral("progress"),
            QStringLiteral("complete") }));
    QCOMPARE(events.last().message, std::optional<QString>(QStringLiteral("Model ready")));
    QCOMPARE(events[2].progress, std::optional<double>(1.0));
    // Nothing appended in this mode.
    QCOMPARE(m_tool->runs().last().arguments,
        (QStringList { QStringLiteral("download-model"), QStringLiteral("--wizard") }));

    // A chunk holding an empty line and then one event line gives exactly one event.
    const QString script = writeScript(QStringLiteral("chunk"), "printf '\\n{\"type\":\"complete\"}\\n'\n");
    CLIService scripted(nullptr, [script] { return script; });
    QList<CLIEvent> single;
    const auto second
        = QCoro::waitFor(scripted.start({}, [&single](const CLIEvent& e) { single.append(e); }));
    QVERIFY(second.ok());
    QTRY_VERIFY(second.value()->isFinished());
    QCOMPARE(single.size(), 1);
    QCOMPARE(single[0].type, QStringLiteral("complete"));
}

void TestCLIProcess::startStops_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("terminate()") << QStringLiteral("terminate");
    QTest::newRow("handle destroyed") << QStringLiteral("destroy");
    QTest::newRow("handle dropped inside its own event callback") << QStringLiteral("callback");
}

void TestCLIProcess::startStops()
{
    QFETCH(QString, how);
    const bool fromCallback = how == QLatin1String("callback");
    writeScenario({ { QStringLiteral("download-model"),
        QJsonObject { { QStringLiteral("hang"), true },
            { QStringLiteral("stepDelayMs"), fromCallback ? 300 : 0 } } } });
    CLIService service;
    std::shared_ptr<CLIProcess> handle;
    int events = 0;
    auto started
        = QCoro::waitFor(service.start({ QStringLiteral("download-model"), QStringLiteral("--wizard") },
            [&handle, &events, fromCallback](const CLIEvent&) {
                ++events;
                if (fromCallback)
                    handle.reset();
            }));
    QVERIFY(started.ok());
    handle = started.value();
    started = CLIResult<std::shared_ptr<CLIProcess>>(std::shared_ptr<CLIProcess>());
    QTRY_COMPARE(events, 1);
    if (how == QLatin1String("terminate")) {
        QVERIFY(handle->isRunning());
        QCOMPARE(childProcessCount(), 1);
        handle->terminate();
        QTRY_VERIFY(handle->isFinished());
        QCOMPARE(handle->exitStatus(), -1);
    } else if (how == QLatin1String("destroy")) {
        QCOMPARE(childProcessCount(), 1);
        handle.reset();
    }
    QVERIFY(fromCallback ? !handle : true);
    QTRY_COMPARE(childProcessCount(), 0);
    QCOMPARE(events, 1);
}

void TestCLIProcess::detached_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("folderRemains");
    QTest::newRow("removed") << 0 << false;
    QTest::newRow("denied") << 2 << true;
    QTest::newRow("timed out") << 3 << true;
    QTest::newRow("removed locally") << 4 << false;
    QTest::newRow("failed") << 1 << true;
}

void TestCLIProcess::detached()
{
    QFETCH(int, exitCode);
    QFETCH(bool, folderRemains);
    const QJsonObject agent { { QStringLiteral("name"), QStringLiteral("claude-work") },
        { QStringLiteral("machine"), QStringLiteral("desk") },
        { QStringLiteral("machineId"), QStringLiteral("m_1") },
        { QStringLiteral("publicKey"), QStringLiteral("pk") },
        { QStringLiteral("createdAt"), QStringLiteral("2025-01-01T00:00:00Z") },
        { QStringLiteral("apiUrl"), QStringLiteral("https://api.example") } };
    QVERIFY(m_home->write(
        QStringLiteral(".quorvane/agents/claude-work/config.json"), QJsonDocument(agent).toJson()));
    writeScenario({ { QStringLiteral("unregister"),
        QJsonObject { { QStringLiteral("exitCode"), exitCode }, { QStringLiteral("stepDelayMs"), 0 } } } });
    CLIService service;
    const QStringList args { QStringLiteral("unregister"), QStringLiteral("--agent"),
        QStringLiteral("claude-work"), QStringLiteral("--force") };
    QCOMPARE(QCoro::waitFor(service.runDetached(args)), exitCode);
    QCOMPARE(m_tool->runs().last().arguments, args);
    QCOMPARE(
        QFileInfo::exists(m_home->filePath(QStringLiteral(".quorvane/agents/claude-work"))), folderRemains);

    // A tool killed by a signal is reported as a failure (-1), not as its signal number.
    const QString killed = writeScript(QStringLiteral("killed"), "kill -2 $$\nsleep 5\n");
    CLIService dying(nullptr, [killed] { return killed; });
    QCOMPARE(QCoro::waitFor(dying.runDetached({})), -1);
}

QTEST_GUILESS_MAIN(TestCLIProcess)
#include "tst_CLIProcess.moc"
