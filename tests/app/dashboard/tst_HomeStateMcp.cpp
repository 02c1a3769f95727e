#include "tests/app/dashboard/HomeStateFixture.h"

// The dashboard model's MCP inventory sync and the "mcpLlmSummary" preference.
class TestHomeStateMcp : public HomeStateTestCase
{
    Q_OBJECT

private Q_SLOTS:
    void syncMcpServers_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<QByteArray>("body"); // empty: nothing sent
        QTest::newRow("servers") << inventoryText().toUtf8() << inventoryBody();
        QTest::newRow("empty list") << QByteArray("{\"servers\":[]}") << QByteArray("{\"servers\":[]}");
        QTest::newRow("not JSON") << QByteArray("servers") << QByteArray();
        QTest::newRow("no file") << QByteArray() << QByteArray();
        QTest::newRow("huge file") << QByteArray(QByteArray("{\"servers\":[{\"pad\":\"")
            + QByteArray(McpInventory::maximumFileSize, 'x') + QByteArray("\"}]}"))
                                   << QByteArray();
    }
    void syncMcpServers()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, body);
        Fixture f;
        QVERIFY(f.machine);
        if (!file.isEmpty())
            QVERIFY(f.writeInventory(file));

        const bool sent = QCoro::waitFor(HomeState::syncMcpServers(f.auth, f.network));
        QCOMPARE(sent, !body.isEmpty());
        const QList<QJsonObject> syncs = f.syncRequests();
        QCOMPARE(syncs.size(), body.isEmpty() ? 0 : 1);
        if (!body.isEmpty()) {
            QCOMPARE(syncs.first().value(QLatin1String("body")).toString().toUtf8(), body);
            QVERIFY2(syncs.first().value(QLatin1String("verified")).toBool(),
                qPrintable(syncs.first().value(QLatin1String("reason")).toString()));
            QCOMPARE(syncs.first().value(QLatin1String("status")).toInt(), 200);
        }
    }

    void syncIgnoresAnswersAndNeedsAnIdentity()
    {
        {
            Fixture f(false);
            QVERIFY(f.writeInventory(inventoryText().toUtf8()));
            QVERIFY(!QCoro::waitFor(f.state->syncMcpServers()));
            QVERIFY(!QCoro::waitFor(f.state->syncMcpSummaryPreference()));
            QCOMPARE(f.backend.requests().size(), 0);
        }
        Fixture f;
        QVERIFY(f.writeInventory(inventoryText().toUtf8()));
        QVERIFY(f.backend.inject("POST", QStringLiteral("/mcp-servers/sync"), 500, "{\"error\":\"boom\"}"));
        QVERIFY(f.backend.inject("POST", QStringLiteral("/mcp-servers/sync"), 401, "{\"error\":\"who\"}"));
        LogCapture log;
        QVERIFY(QCoro::waitFor(f.state->syncMcpServers()));
        QVERIFY(QCoro::waitFor(f.state->syncMcpServers()));
        QCOMPARE(f.syncRequests().size(), 2);
        QVERIFY(log.lines().isEmpty());
    }

    void preference()
    {
        Fixture f;
        QVERIFY(f.machine);
        HomeState& state = *f.state;
        QSignalSpy finished(&f.network, &QNetworkAccessManager::finished);
        QSignalSpy changed(&state, &HomeState::mcpLlmSummaryChanged);

        state.setMcpLlmSummary(true);
        QVERIFY(state.mcpLlmSummary());
        QCOMPARE(changed.count(), 1);
        QTRY_COMPARE(f.preferenceRequests().size(), 1);
        QJsonObject request = f.preferenceRequests().first();
        QCOMPARE(
            request.value(QLatin1String("body")).toString(), QStringLiteral("{\"mcp_llm_summary\":true}"));
        QVERIFY(request.value(QLatin1String("verified")).toBool());
        {
            QSettings stored(f.settings.fileName(), QSettings::IniFormat);
            QCOMPARE(stored.value(QStringLiteral("mcpLlmSummary")).toString(), QStringLiteral("true"));
        }
        HomeState reopened(f.cli, f.dependencies, f.auth, f.network, f.settings);
        QVERIFY(reopened.mcpLlmSummary());

        state.setMcpLlmSummary(true); // no change, nothing sent
        QCOMPARE(changed.count(), 1);

        state.setProperty("mcpLlmSummary", false);
        QVERIFY(!state.mcpLlmSummary());
        QCOMPARE(changed.count(), 2);
        QTRY_COMPARE(f.preferenceRequests().size(), 2);
        request = f.preferenceRequests().last();
        QCOMPARE(
            request.value(QLatin1String("body")).toString(), QStringLiteral("{\"mcp_llm_summary\":false}"));
        QTRY_COMPARE(finished.count(), 2);
        QCOMPARE(f.preferenceRequests().size(), 2);
    }

    void storedPreferenceValues_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("text true") << QVariant(QStringLiteral("true")) << true;
        QTest::newRow("other text") << QVariant(QStringLiteral("yes please")) << false;
        QTest::newRow("number") << QVariant(1) << false;
    }
    void storedPreferenceValues()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, enabled);
        Fixture f(false);
        if (stored.isValid())
            f.settings.setValue(QStringLiteral("mcpLlmSummary"), stored);
        QCOMPARE(f.state->mcpLlmSummary(), enabled);
    }

    // Quick flips must leave the back-end with the last value, even when an
    // earlier request is slow.
    void preferenceChangesSettleOnLastValue()
    {
        Fixture f;
        HomeState& state = *f.state;
        QVERIFY(f.backend.injectDelay("PUT", QStringLiteral("/users/preferences"), 300));
        QSignalSpy finished(&f.network, &QNetworkAccessManager::finished);

        state.setMcpLlmSummary(true);
        state.setMcpLlmSummary(false);
        state.setMcpLlmSummary(true);
        state.setMcpLlmSummary(false);
        QTRY_COMPARE(f.preferenceRequests().size(), 2);
        QCOMPARE(f.preferenceRequests().first().value(QLatin1String("body")).toString(),
            QStringLiteral("{\"mcp_llm_summary\":true}"));
        QCOMPARE(f.preferenceRequests().last().value(QLatin1String("body")).toString(),
            QStringLiteral("{\"mcp_llm_summary\":false}"));
        QTRY_COMPARE(finished.count(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(f.preferenceRequests().size(), 2);
        const QJsonObject preferences = f.backend.state().value(QLatin1String("preferences")).toObject();
        QCOMPARE(preferences.size(), 1);
        QCOMPARE(preferences.begin()->toObject().value(QLatin1String("mcp_llm_summary")), QJsonValue(false));
    }
};

QTEST_GUILESS_MAIN(TestHomeStateMcp)
#include "tst_HomeStateMcp.moc"
