#include "app/panel/FreezeAll.h"
#include "core/ApiUrl.h"
#include "core/Http.h"
#include "core/ReceiptLog.h"
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
        ReceiptLog receipts { home.filePath(QStringLiteral("receipts.jsonl")) };

        Fixture()
        {
            sync->setReceiptLog(&receipts);
            trust->setReceiptLog(&receipts);
        }

        bool addActions(const QString& prefix, int count)
        {
            for (int index = 0; index < count; ++index) {
                if (!add(action(prefix + QString::number(index))))
                    return false;
            }
            return true;
        }

        // Another device of the person decides the action: the back-end knows,
        // the companion's list does not yet.
        bool decideElsewhere(const QString& id)
        {
            const QUrl url = ApiUrl::endpoint(QStringLiteral("/approvals/%1/respond").arg(id));
            const std::optional<SignedRequest> request = auth.signedPOSTRequest(
                url, ApprovalSyncService::decisionBody(id, QStringLiteral("approved"), std::nullopt));
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
        QTest::newRow("one denied") << 1 << 0 << 0 << int(Window::notActive)
                                    << QStringLiteral("Denied 1 action");
        QTest::newRow("one failed, window ended")
            << 0 << 2 << 1 << int(Window::ended)
            << QStringLiteral(
                   "2 already decided elsewhere, ended the trust window. Failed: 1 action could not be "
                   "denied");
        QTest::newRow("failures only")
            << 0 << 0 << 3 << int(Window::failed)
            << QStringLiteral(
                   "Nothing was pending. Failed: 3 actions could not be denied, the back-end did not "
                   "confirm the end of the trust window");
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
        QVERIFY(f.ready());
        QVERIFY(f.addActions(QStringLiteral("act-"), 25));
        QVERIFY(f.fetch(25));

        // Twenty decisions: from the rows, and from the detail page with and
        // without a rule at each scope.
        QStringList scopes { {}, QStringLiteral("agent"), QStringLiteral("machine"),
            QStringLiteral("global") };
        for (int index = 0; index < 20; ++index) {
            const QString id = QStringLiteral("act-%1").arg(index);
            const QString decision = index % 3 == 0 ? QStringLiteral("denied") : QStringLiteral("approved");
            const bool fromDetail = index % 2 == 1;
            if (fromDetail) {
                f.panel->showDetail(id);
                const QString scope = scopes[(index / 2) % scopes.size()];
                f.panel->detail()->setCreateRule(!scope.isEmpty());
                if (!scope.isEmpty())
                    f.panel->detail()->setRuleScopeRawValue(scope);
            }
            QVERIFY2(QCoro::waitFor(f.panel->decide(id, decision, fromDetail)), qPrintable(id));
        }
        QCOMPARE(f.sync->pendingActions().size(), 5);

        QCoro::waitFor(f.trust->activate());
        QVERIFY(f.trust->isActive());
        QVERIFY(f.decideElsewhere(QStringLiteral("act-22")));

        FreezeAll& freeze = *f.panel->freeze();
        QSignalSpy paused(&freeze, &FreezeAll::autoOpenPaused);
        freeze.requestConfirmation();
        QVERIFY(freeze.isConfirming());
        QCOMPARE(freeze.confirmationText(),
            QStringLiteral(
                "Deny all 5 pending actions, end any trust window and stop opening for new requests?"));
        freeze.confirm();
        QVERIFY(freeze.isRunning());
        QCOMPARE(paused.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!freeze.isRunning(), 20000);
        QCOMPARE(freeze.report(),
            QStringLiteral("Denied 4 actions, 1 already decided elsewhere, ended the trust window"));
        QVERIFY(f.sync->pendingActions().isEmpty());
        QVERIFY(!f.trust->isActive());
        QCOMPARE(f.backend.state().value(QStringLiteral("trust_windows")).toArray().size(), 0);
        // A freeze never asks for a rule.
        for (int index = 20; index < 25; ++index) {
            for (const QString& body : f.decisionBodies(QStringLiteral("act-%1").arg(index)))
                QVERIFY2(!body.contains(QStringLiteral("create_rule")), qPrintable(body));
        }

        const QList<Receipt> receipts = f.receipts.readAll();
        QCOMPARE(receipts.size(), 27);
        const std::optional<QByteArray> publicKey = Receipt::machinePublicKey();
        QVERIFY(publicKey);
        for (const Receipt& receipt : receipts)
            QVERIFY2(receipt.verify(*publicKey) == Receipt::Verification::verified,
                receipt.toJsonLine().constData());

        // Newest first: the freeze's end of the trust window, its five
        // denials (one answered 409), the opening, then the twenty decisions.
        QCOMPARE(receipts[0].decision, Receipt::trustWindowEnded);
        QCOMPARE(receipts[0].status, 200);
        QStringList frozen;
        for (int position = 1; position <= 5; ++position) {
            QCOMPARE(receipts[position].decision, QStringLiteral("denied"));
            QCOMPARE(receipts[position].scope, QString());
            QCOMPARE(receipts[position].status,
                receipts[position].actionId == QLatin1String("act-22") ? 409 : 200);
            frozen.prepend(receipts[position].actionId);
        }
        QCOMPARE(frozen,
            (QStringList { QStringLiteral("act-20"), QStringLiteral("act-21"), QStringLiteral("act-22"),
                QStringLiteral("act-23"), QStringLiteral("act-24") }));
        QCOMPARE(receipts[6].decision, Receipt::trustWindowStarted);
        QCOMPARE(receipts[6].summary, QStringLiteral("Trust window for 30 minutes"));
        for (int position = 7; position < 27; ++position) {
            const Receipt& receipt = receipts[position];
            const int index = 26 - position;
            QCOMPARE(receipt.actionId, QStringLiteral("act-%1").arg(index));
            QCOMPARE(receipt.agent, QStringLiteral("claude-work"));
            QCOMPARE(receipt.tool, QStringLiteral("Bash"));
            QVERIFY(!receipt.summary.isEmpty());
            QCOMPARE(receipt.status, 200);
            QCOMPARE(
                receipt.decision, index % 3 == 0 ? QStringLiteral("denied") : QStringLiteral("approved"));
            const bool ruled = index % 2 == 1 && receipt.decision == QLatin1String("approved");
            QCOMPARE(receipt.scope, ruled ? scopes[(index / 2) % scopes.size()] : QString());
        }
    }

    void reportsWhatFailed()
    {
        Fixture f;
        QVERIFY(f.ready());
        FreezeAll& freeze = *f.panel->freeze();
        // Nothing to do is said so.
        QCOMPARE(QCoro::waitFor(freeze.run()).text(), QStringLiteral("Nothing was pending"));

        QVERIFY(f.addActions(QStringLiteral("fail-"), 3));
        QVERIFY(f.fetch(3));
        QCoro::waitFor(f.trust->activate());
        QVERIFY(f.trust->isActive());
        QVERIFY(f.backend.inject("POST", QStringLiteral("/approvals/fail-1/respond"), 500));
        QVERIFY(f.backend.inject("DELETE", QStringLiteral("/trust-window"), 503));

        const FreezeAll::Outcome outcome = QCoro::waitFor(freeze.run());
        QCOMPARE(outcome.denied, 2);
        QCOMPARE(outcome.failed, 1);
        QCOMPARE(outcome.text(),
            QStringLiteral("Denied 2 actions. Failed: 1 action could not be denied, the back-end "
                           "did not confirm the end of the trust window"));
        QCOMPARE(freeze.report(), outcome.text());
        // The failed denial stays pending; its receipt records the refusal.
        QCOMPARE(f.sync->pendingActions().size(), 1);
        const QList<Receipt> receipts = f.receipts.readAll();
        // The first freeze asked the back-end to end any trust window too.
        QCOMPARE(receipts.size(), 6);
        QCOMPARE(receipts[0].status, 503);
        QCOMPARE(receipts[2].actionId, QStringLiteral("fail-1"));
        QCOMPARE(receipts[2].status, 500);

        freeze.dismissReport();
        QVERIFY(freeze.report().isEmpty());
        freeze.requestConfirmation();
        freeze.cancel();
        QVERIFY(!freeze.isConfirming());
        // Only a confirmation starts a freeze.
        freeze.confirm();
        QVERIFY(!freeze.isRunning());
        QCOMPARE(f.sync->pendingActions().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFreezeAll)
#include "tst_FreezeAll.moc"
