#include "app/panel/FreezeAll.h"
#include "core/ApiUrl.h"
#include "core/Http.h"
#include "tests/app/panel/PanelFixture.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QTest>

// "Freeze all" and the decision receipts against the reference back-end: every
// decision the companion sends leaves a receipt that verifies against the
// machine's public key.
class TestFreezeAll : public QObject
{
    Q_OBJECT

    struct Fixture : PanelFixture
    {
        bool addActions(int count)
        {
            for (int index = 0; index < count; ++index) {
                if (!add(action(u"act-%1"_qs.arg(index))))
                    return false;
            }
            return fetch(count);
        }

        // Another device of the person decides the action: the back-end knows,
        // the companion's list does not yet.
        bool decideElsewhere(const QString& id)
        {
            const QUrl url = ApiUrl::endpoint(u"/approvals/%1/respond"_qs.arg(id));
            const std::optional<SignedRequest> request = auth.signedPOSTRequest(
                url, ApprovalSyncService::decisionBody(id, u"approved"_qs, std::nullopt));
            return request && QCoro::waitFor(Http::send(network, *request)).status == 200;
        }
    };

private Q_SLOTS:
    // The report's wording for each part, singular and plural.
    void outcomeTexts_data()
    {
        using Window = FreezeAll::Outcome::TrustWindow;
        QTest::addColumn<int>("denied");
        QTest::addColumn<int>("alreadyDecided");
        QTest::addColumn<int>("failed");
        QTest::addColumn<int>("trustWindow");
        QTest::addColumn<QString>("text");
        QTest::newRow("one denied") << 1 << 0 << 0 << int(Window::notActive) << u"Denied 1 action"_qs;
        QTest::newRow("one failed, window ended")
            << 0 << 2 << 1 << int(Window::ended)
            << u"2 already decided elsewhere, ended the trust window. Failed: 1 action could not be denied"_qs;
        QTest::newRow("failures only") << 0 << 0 << 3 << int(Window::failed)
                                       << u"Nothing was pending. Failed: 3 actions could not be denied, the "
                                          "back-end did not confirm the end of the trust window"_qs;
    }
    void outcomeTexts()
    {
        QFETCH(int, denied);
        QFETCH(int, alreadyDecided);
        QFETCH(int, failed);
        QFETCH(int, trustWindow);
        QFETCH(QString, text);
        FreezeAll::Outcome outcome;
        outcome.denied = denied;
        outcome.alreadyDecided = alreadyDecided;
        outcome.failed = failed;
        outcome.trustWindow = FreezeAll::Outcome::TrustWindow(trustWindow);
        QCOMPARE(outcome.text(), text);
    }

    void everyDecisionLeavesAVerifyingReceipt()
    {
        Fixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.addActions(12));

        // Eight decisions: from the rows, and approvals from the detail page
        // without a rule and with one at each scope.
        const QStringList scopes { {}, u"agent"_qs, u"machine"_qs, u"global"_qs };
        const auto decisionOf = [](int index) { return index % 4 == 0 ? u"denied"_qs : u"approved"_qs; };
        const auto scopeOf = [&scopes](int index) { return scopes[(index / 2) % scopes.size()]; };
        for (int index = 0; index < 8; ++index) {
            const QString id = u"act-%1"_qs.arg(index);
            const bool fromDetail = index % 2 == 1;
            if (fromDetail) {
                f.panel->showDetail(id);
                f.panel->detail()->setCreateRule(!scopeOf(index).isEmpty());
                f.panel->detail()->setRuleScopeRawValue(scopeOf(index));
            }
            QVERIFY2(QCoro::waitFor(f.panel->decide(id, decisionOf(index), fromDetail)), qPrintable(id));
        }

        // A trust window that another client of the account opened, and an
        // action decided on another device: the freeze ends and counts both.
        TrustWindowState elsewhere(f.auth, f.network, f.biometric);
        QCoro::waitFor(elsewhere.activate());
        QVERIFY(elsewhere.isActive() && !f.trust->isActive());
        QVERIFY(f.decideElsewhere(u"act-10"_qs));

        FreezeAll& freeze = *f.panel->freeze();
        QSignalSpy paused(&freeze, &FreezeAll::autoOpenPaused);
        freeze.requestConfirmation();
        QVERIFY(f.panel->holdsPopover());
        QCOMPARE(freeze.confirmationText(),
            u"Deny all 4 pending actions, end any trust window and stop opening for new requests?"_qs);
        freeze.confirm();
        QVERIFY(freeze.isRunning());
        QCOMPARE(paused.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!freeze.isRunning(), 20000);
        QCOMPARE(
            freeze.report(), u"Denied 3 actions, 1 already decided elsewhere, ended the trust window"_qs);
        QVERIFY(!freeze.canRetry());
        QCOMPARE(f.backend.state().value(u"trust_windows"_qs).toArray().size(), 0);
        QCOMPARE(f.backendStatus(u"act-11"_qs), u"denied"_qs);

        // The list is empty, yet the report holds the popover until it is dismissed.
        QCOMPARE(f.panel->content(), u"empty"_qs);
        QVERIFY(f.panel->holdsPopover());
        freeze.dismissReport();
        QVERIFY(!f.panel->holdsPopover());

        // Newest first: the freeze's end of the trust window and its four
        // denials (one answered 409, none asking for a rule), then the eight
        // decisions; every one verifies.
        const QList<Receipt> receipts = f.receipts.readAll();
        QCOMPARE(receipts.size(), 13);
        const std::optional<QByteArray> publicKey = Receipt::machinePublicKey();
        QVERIFY(publicKey);
        for (const Receipt& receipt : receipts)
            QVERIFY2(receipt.verify(*publicKey) == Receipt::Verification::verified,
                receipt.toJsonLine().constData());
        QCOMPARE(receipts[0].decision, Receipt::trustWindowEnded);
        QCOMPARE(receipts[0].status, 200);
        for (int position = 1; position <= 4; ++position) {
            const Receipt& receipt = receipts[position];
            QCOMPARE(receipt.actionId, u"act-%1"_qs.arg(12 - position));
            QCOMPARE(receipt.decision, u"denied"_qs);
            QCOMPARE(receipt.scope, QString());
            QCOMPARE(receipt.status, receipt.actionId == u"act-10" ? 409 : 200);
        }
        for (int position = 5; position < 13; ++position) {
            const Receipt& receipt = receipts[position];
            const int index = 12 - position;
            QCOMPARE(receipt.actionId, u"act-%1"_qs.arg(index));
            QCOMPARE(receipt.agent, u"claude-work"_qs);
            QCOMPARE(receipt.status, 200);
            QCOMPARE(receipt.decision, decisionOf(index));
            const bool ruled = index % 2 == 1 && receipt.decision == u"approved";
            QCOMPARE(receipt.scope, ruled ? scopeOf(index) : QString());
        }

        // A second freeze finds no window and says nothing of one.
        const FreezeAll::Outcome again = QCoro::waitFor(freeze.run());
        QCOMPARE(again.trustWindow, FreezeAll::Outcome::TrustWindow::notActive);
        QCOMPARE(again.text(), u"Nothing was pending"_qs);
    }

    void reportsWhatFailedAndRetries()
    {
        Fixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        FreezeAll& freeze = *f.panel->freeze();
        QVERIFY(f.addActions(3));
        QCoro::waitFor(f.trust->activate());
        QVERIFY(f.trust->isActive());
        // Only a confirmation starts a freeze.
        freeze.requestConfirmation();
        freeze.cancel();
        QVERIFY(!freeze.isConfirming());
        freeze.confirm();
        QVERIFY(!freeze.isRunning());

        QVERIFY(f.backend.inject("POST", u"/approvals/act-1/respond"_qs, 500));
        QVERIFY(f.backend.inject("DELETE", u"/trust-window"_qs, 503));

        const FreezeAll::Outcome outcome = QCoro::waitFor(freeze.run());
        QCOMPARE(outcome.denied, 2);
        QCOMPARE(outcome.failed, 1);
        QCOMPARE(freeze.report(),
            u"Denied 2 actions. Failed: 1 action could not be denied, the back-end did not "
            "confirm the end of the trust window"_qs);
        // The failed denial stays pending; its receipt records the refusal.
        QCOMPARE(f.sync->pendingActions().size(), 1);
        const QList<Receipt> receipts = f.receipts.readAll();
        QCOMPARE(receipts[0].status, 503);
        QCOMPARE(f.receiptsOf(u"act-1"_qs).constLast().status, 500);

        QVERIFY(freeze.canRetry());
        freeze.retry();
        QTRY_VERIFY_WITH_TIMEOUT(
            !freeze.isRunning() && freeze.report() == u"Denied 1 action, ended the trust window", 20000);
        QVERIFY(!freeze.canRetry());
        QVERIFY(f.sync->pendingActions().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFreezeAll)
#include "tst_FreezeAll.moc"
