#include "tests/app/dashboard/HomeStateFixture.h"

// The dashboard model's activity analysis, the MCP inventory sync that
// follows it, and the "mcpLlmSummary" preference.
class TestHomeStateAnalysis : public HomeStateTestCase
{
    Q_OBJECT

    static QJsonObject hang() { return { { u"hang"_s, true } }; }

private Q_SLOTS:
    // The count itself is read by SuggestionCount; here, which events set it.
    void suggestionCount_data()
    {
        QTest::addColumn<QString>("output"); // the tool's lines
        QTest::addColumn<QVariant>("count"); // invalid: absent
        const auto line = [](const char* count) {
            return u"{\"type\":\"suggestion_count\",\"data\":{\"count\":\"%1\"}}\n"_s.arg(
                QLatin1String(count));
        };
        const QString withoutData = u"{\"type\":\"suggestion_count\"}\n"_s;
        QTest::newRow("12") << line("12") << QVariant(qint64(12));
        QTest::newRow("not a number") << line("abc") << QVariant(qint64(0));
        QTest::newRow("no data leaves it") << QString(line("5") + withoutData) << QVariant(qint64(5));
        QTest::newRow("no count leaves it")
            << QString(line("5") + u"{\"type\":\"suggestion_count\",\"data\":{\"total\":\"4\"}}\n"_s)
            << QVariant(qint64(5));
        QTest::newRow("only no data") << withoutData << QVariant();
        QTest::newRow("other events") << u"{\"type\":\"progress\",\"data\":{\"count\":\"9\"}}\n"
                                         "{\"type\":\"complete\",\"data\":{\"count\":\"9\"}}\n"_s
                                      << QVariant();
        QTest::newRow("last one wins") << QString(line("3") + line("8")) << QVariant(qint64(8));
    }
    void suggestionCount()
    {
        QFETCH(QString, output);
        QFETCH(QVariant, count);
        Fixture f(false);
        HomeState& state = *f.state;
        QVERIFY(f.writeScenario(u"analyze-history"_s, { { u"rawOutput"_s, output } }));
        QSignalSpy running(&state, &HomeState::analysisRunningChanged);
        state.startAnalysis();
        QVERIFY(state.analysisRunning());
        QTRY_VERIFY(!state.analysisRunning());
        QCOMPARE(running.count(), 2);
        QCOMPARE(state.property("analysisSuggestionCount"), count);
        QCOMPARE(f.invocations(), (QList<QStringList> { { u"analyze-history"_s, u"--wizard"_s } }));

        // A new analysis starts without the old count.
        QVERIFY(f.writeScenario(u"analyze-history"_s, hang()));
        state.startAnalysis();
        QCOMPARE(state.analysisSuggestionCount(), std::nullopt);
        state.cancelAnalysis();
    }

    void analysisSyncsInventoryWhateverTheOutcome_data()
    {
        QTest::addColumn<QJsonObject>("behaviour");
        QTest::addColumn<QVariant>("count");
        QTest::newRow("succeeds") << QJsonObject { { u"suggestionCount"_s, u"4"_s } } << QVariant(qint64(4));
        QTest::newRow("error event then non-zero")
            << QJsonObject { { u"errorMessage"_s, u"no history"_s }, { u"exitCode"_s, 1 } } << QVariant();
    }
    void analysisSyncsInventoryWhateverTheOutcome()
    {
        QFETCH(QJsonObject, behaviour);
        QFETCH(QVariant, count);
        Fixture f;
        QVERIFY(f.writeInventory(inventoryText()));
        QVERIFY(f.writeScenario(u"analyze-history"_s, behaviour));
        LogCapture log;
        f.state->startAnalysis();
        QTRY_VERIFY(!f.state->analysisRunning());
        // The inventory went out, signed, before the analysis was shown as ended.
        const QList<QJsonObject> syncs = f.syncRequests();
        QCOMPARE(syncs.size(), 1);
        QCOMPARE(bodyOf(syncs.first()), inventoryBody());
        QVERIFY(syncs.first().value(QLatin1String("verified")).toBool());
        QCOMPARE(f.state->property("analysisSuggestionCount"), count);
        QCOMPARE(log.lines().size(), count.isValid() ? 0 : 1);
        if (!count.isValid())
            QVERIFY(log.lines().first().startsWith(u"Quorvane: activity analysis failed: CLI exited"_s));
    }

    void cancelAnalysis()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeInventory(inventoryText()));
        QVERIFY(f.writeScenario(u"analyze-history"_s, hang()));
        QSignalSpy running(&state, &HomeState::analysisRunningChanged);
        LogCapture log;
        state.startAnalysis();
        state.startAnalysis(); // while one runs, nothing
        QTRY_COMPARE(f.invocations().size(), 1);
        QTRY_COMPARE(childCount(), 1);
        state.cancelAnalysis();
        QVERIFY(!state.analysisRunning());
        // The tool is stopped and the inventory still goes out.
        QTRY_COMPARE(childCount(), 0);
        QTRY_COMPARE(f.syncRequests().size(), 1);
        QCOMPARE(bodyOf(f.syncRequests().first()), inventoryBody());
        QCOMPARE(running.count(), 2);
        QCOMPARE(state.analysisSuggestionCount(), std::nullopt);
        QVERIFY(log.lines().isEmpty()); // a cancelled run is no failure
    }

    // The tail of a cancelled analysis must not end the one started after it.
    void cancelThenRestart()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.writeInventory(inventoryText()));
        QVERIFY(f.writeScenario(u"analyze-history"_s, hang()));
        // The first sync is held back, so the old tail ends while the new run goes on.
        QVERIFY(f.backend.injectDelay("POST", u"/mcp-servers/sync"_s, 300));
        QSignalSpy finished(&f.network, &QNetworkAccessManager::finished);
        state.startAnalysis();
        // The tool logs its run when it starts; cancelling earlier would end it unlogged.
        QTRY_COMPARE(f.invocations().size(), 1);
        state.cancelAnalysis();
        state.startAnalysis();
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

    // Which files are sent is McpInventory's; here, that it is sent, signed, and only with an identity.
    void syncNeedsAnIdentityAndIgnoresAnswers()
    {
        {
            Fixture f(false);
            QVERIFY(f.writeInventory(inventoryText()));
            QVERIFY(!QCoro::waitFor(f.state->syncMcpServers()));
            QVERIFY(!QCoro::waitFor(f.state->syncMcpSummaryPreference()));
            QCOMPARE(f.backend.requests().size(), 0);
        }
        Fixture f;
        QVERIFY(!QCoro::waitFor(HomeState::syncMcpServers(f.auth, f.network))); // no file
        QVERIFY(f.writeInventory("servers"));
        QVERIFY(!QCoro::waitFor(HomeState::syncMcpServers(f.auth, f.network)));
        QCOMPARE(f.syncRequests().size(), 0);
        QVERIFY(f.writeInventory(inventoryText()));
        QVERIFY(f.backend.inject("POST", u"/mcp-servers/sync"_s, 500, "{\"error\":\"boom\"}"));
        LogCapture log;
        QVERIFY(QCoro::waitFor(f.state->syncMcpServers()));
        QVERIFY(QCoro::waitFor(HomeState::syncMcpServers(f.auth, f.network)));
        QCOMPARE(f.syncRequests().size(), 2);
        QCOMPARE(bodyOf(f.syncRequests().last()), inventoryBody());
        QCOMPARE(f.syncRequests().last().value(QLatin1String("status")).toInt(), 200);
        QVERIFY(f.syncRequests().last().value(QLatin1String("verified")).toBool());
        QVERIFY(log.lines().isEmpty());
    }

    void preference()
    {
        Fixture f;
        HomeState& state = *f.state;
        QSignalSpy changed(&state, &HomeState::mcpLlmSummaryChanged);
        QSignalSpy finished(&f.network, &QNetworkAccessManager::finished);
        state.setMcpLlmSummary(true);
        QVERIFY(state.mcpLlmSummary());
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(f.preferenceRequests().size(), 1);
        QCOMPARE(bodyOf(f.preferenceRequests().first()), u"{\"mcp_llm_summary\":true}"_s);
        QVERIFY(f.preferenceRequests().first().value(QLatin1String("verified")).toBool());
        QCOMPARE(QSettings(f.settings.fileName(), QSettings::IniFormat).value(u"mcpLlmSummary"_s).toString(),
            u"true"_s);
        QVERIFY(HomeState(f.cli, f.dependencies, f.auth, f.network, f.settings).mcpLlmSummary());
        state.setMcpLlmSummary(true); // no change, nothing sent
        QCOMPARE(changed.count(), 1);

        // Quick flips leave the back-end with the last value, even when an
        // earlier request is slow: the one under way, then the last.
        QVERIFY(f.backend.injectDelay("PUT", u"/users/preferences"_s, 300));
        state.setProperty("mcpLlmSummary", false);
        state.setMcpLlmSummary(true);
        state.setMcpLlmSummary(false);
        state.setMcpLlmSummary(true);
        QCOMPARE(changed.count(), 5);
        QTRY_COMPARE(finished.count(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(f.preferenceRequests().size(), 3);
        QCOMPARE(bodyOf(f.preferenceRequests().at(1)), u"{\"mcp_llm_summary\":false}"_s);
        QCOMPARE(bodyOf(f.preferenceRequests().last()), u"{\"mcp_llm_summary\":true}"_s);
        const QJsonObject preferences = f.backend.state().value(QLatin1String("preferences")).toObject();
        QCOMPARE(preferences.size(), 1);
        QCOMPARE(preferences.begin()->toObject().value(QLatin1String("mcp_llm_summary")), QJsonValue(true));
    }

    void storedPreferenceValues_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("text true") << QVariant(u"true"_s) << true;
        QTest::newRow("other text") << QVariant(u"yes please"_s) << false;
        QTest::newRow("number") << QVariant(1) << false;
    }
    void storedPreferenceValues()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, enabled);
        Fixture f(false);
        if (stored.isValid())
            f.settings.setValue(u"mcpLlmSummary"_s, stored);
        QCOMPARE(HomeState(f.cli, f.dependencies, f.auth, f.network, f.settings).mcpLlmSummary(), enabled);
    }
};

QTEST_GUILESS_MAIN(TestHomeStateAnalysis)
#include "tst_HomeStateAnalysis.moc"
