#include "tests/app/dashboard/HomeStateFixture.h"

// The dashboard model's activity analysis.
class TestHomeStateAnalysis : public HomeStateTestCase
{
    Q_OBJECT

private Q_SLOTS:
    void suggestionCount_data()
    {
        QTest::addColumn<QString>("output"); // the tool's lines
        QTest::addColumn<QVariant>("count"); // invalid: absent
        const auto line = [](const char* count) {
            return QStringLiteral("{\"type\":\"suggestion_count\",\"data\":{\"count\":\"%1\"}}\n")
                .arg(QLatin1String(count));
        };
        const QString withoutData = QStringLiteral("{\"type\":\"suggestion_count\"}\n");
        const QString withoutCount = QStringLiteral("{\"type\":\"suggestion_count\",\"data\":{\"total\":\"4\"}}\n");
        QTest::newRow("12") << line("12") << QVariant(qint64(12));
        QTest::newRow("+7") << line("+7") << QVariant(qint64(7));
        QTest::newRow("-2") << line("-2") << QVariant(qint64(-2));
        QTest::newRow("abc") << line("abc") << QVariant(qint64(0));
        QTest::newRow("overflow") << line("92233720368547758070") << QVariant(qint64(0));
        QTest::newRow("no data leaves it") << QString(line("5") + withoutData) << QVariant(qint64(5));
        QTest::newRow("no count leaves it") << QString(line("5") + withoutCount) << QVariant(qint64(5));
        QTest::newRow("only no data") << withoutData << QVariant();
        QTest::newRow("other events") << QStringLiteral("{\"type\":\"progress\",\"data\":{\"count\":\"9\"}}\n"
                                                        "{\"type\":\"complete\",\"data\":{\"count\":\"9\"}}\n")
                                      << QVariant();
        QTest::newRow("last one wins") << QString(line("3") + line("8")) << QVariant(qint64(8));
        QTest::newRow("number in data is no event")
            << QString(line("6") + QStringLiteral("{\"type\":\"suggestion_count\",\"data\":{\"count\":7}}\n"))
            << QVariant(qint64(6));
    }
    void suggestionCount()
    {
        QFETCH(QString, output);
        QFETCH(QVariant, count);
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeScenario(
            QJsonObject{{QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("rawOutput"), output}}}}));
        QSignalSpy running(&state, &HomeState::analysisRunningChanged);

        state.startAnalysis();
        QVERIFY(state.analysisRunning());
        QTRY_VERIFY(!state.analysisRunning());
        QCOMPARE(running.count(), 2);
        QCOMPARE(state.property("analysisSuggestionCount"), count);
        QCOMPARE(f.invocations(),
                 QList<QStringList>{(QStringList{QStringLiteral("analyze-history"), QStringLiteral("--wizard")})});

        // A new analysis starts without the old count.
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("hang"), true}}}}));
        state.startAnalysis();
        QCOMPARE(state.analysisSuggestionCount(), std::nullopt);
        state.cancelAnalysis();
    }

    void analysisSyncsInventoryWhateverTheOutcome_data()
    {
        QTest::addColumn<QJsonObject>("behaviour");
        QTest::addColumn<QVariant>("count");
        QTest::addColumn<bool>("logged");
        QTest::newRow("succeeds") << QJsonObject{{QStringLiteral("suggestionCount"), QStringLiteral("4")}}
                                  << QVariant(qint64(4)) << false;
        QTest::newRow("exits non-zero") << QJsonObject{{QStringLiteral("exitCode"), 3}} << QVariant() << true;
        QTest::newRow("error event then non-zero")
            << QJsonObject{{QStringLiteral("errorMessage"), QStringLiteral("no history")},
                           {QStringLiteral("exitCode"), 1}}
            << QVariant() << true;
    }
    void analysisSyncsInventoryWhateverTheOutcome()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(QVariant, count);
        QFETCH(bool, logged);
        Fixture f;
        QVERIFY(f.machine);
        HomeState& state = *f.state;
        QVERIFY(f.writeInventory(inventoryText().toUtf8()));
        QVERIFY(f.writeScenario(QJsonObject{{QStringLiteral("analyze-history"), behaviour}}));
        LogCapture log;

        state.startAnalysis();
        QTRY_VERIFY(!state.analysisRunning());
        // The inventory went out before the analysis was shown as ended.
        const QList<QJsonObject> syncs = f.syncRequests();
        QCOMPARE(syncs.size(), 1);
        QCOMPARE(syncs.first().value(QLatin1String("body")).toString().toUtf8(), inventoryBody());
        QVERIFY(syncs.first().value(QLatin1String("verified")).toBool());
        QCOMPARE(state.property("analysisSuggestionCount"), count);
        QCOMPARE(log.lines().size(), logged ? 1 : 0);
        if (logged)
            QVERIFY(log.lines().first().startsWith(QStringLiteral("Quorvane: activity analysis failed: CLI exited")));
    }

    void cancelAnalysis()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeInventory(inventoryText().toUtf8()));
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("hang"), true}}}}));
        QSignalSpy running(&state, &HomeState::analysisRunningChanged);
        LogCapture log;

        state.startAnalysis();
        state.startAnalysis(); // while one runs, nothing
        QTRY_COMPARE(f.invocations().size(), 1);
        QTRY_COMPARE(childCount(), 1);
        state.cancelAnalysis();
        QVERIFY(!state.analysisRunning());
        QCOMPARE(running.count(), 2);
        // The tool is stopped and the inventory still goes out.
        QTRY_COMPARE(childCount(), 0);
        QTRY_COMPARE(f.syncRequests().size(), 1);
        QCOMPARE(f.syncRequests().first().value(QLatin1String("body")).toString().toUtf8(), inventoryBody());
        QVERIFY(!state.analysisRunning());
        QCOMPARE(running.count(), 2);
        QCOMPARE(state.analysisSuggestionCount(), std::nullopt);
        QVERIFY(log.lines().isEmpty()); // a cancelled run is no failure
        state.cancelAnalysis(); // nothing left to cancel
        QVERIFY(!state.analysisRunning());
    }

    // The tail of a cancelled analysis must not end the one started after it.
    void cancelThenRestart()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeInventory(inventoryText().toUtf8()));
        QVERIFY(f.writeScenario(QJsonObject{
            {QStringLiteral("analyze-history"), QJsonObject{{QStringLiteral("hang"), true}}}}));
        // The first sync is held back, so the old tail ends while the new run goes on.
        QVERIFY(f.backend.injectDelay("POST", QStringLiteral("/mcp-servers/sync"), 300));
        QSignalSpy finished(&f.network, &QNetworkAccessManager::finished);

        state.startAnalysis();
        QTRY_COMPARE(childCount(), 1);
        // The tool logs its run when it starts; cancelling earlier would end it unlogged.
        QTRY_COMPARE(f.invocations().size(), 1);
        state.cancelAnalysis();
        state.startAnalysis();
        QVERIFY(state.analysisRunning());
        QTRY_COMPARE(f.invocations().size(), 2);
        // The old tail has run once its request has been answered.
        QTRY_COMPARE(finished.count(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(f.syncRequests().size(), 1);
        QVERIFY(state.analysisRunning());
        QCOMPARE(childCount(), 1);

        state.cancelAnalysis();
        QVERIFY(!state.analysisRunning());
        QTRY_COMPARE(f.syncRequests().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestHomeStateAnalysis)
#include "tst_HomeStateAnalysis.moc"
