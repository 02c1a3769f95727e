#include "app/panel/FreezeAll.h"
#include "tests/app/panel/PanelFixture.h"

#include <QSignalSpy>
#include <csignal>
#include <utility>

Q_DECLARE_METATYPE(FreezeAll::Outcome)

// Every decision ends in a state the person can see and leaves a receipt that
// verifies against the machine's public key: a failed one keeps its row with
// one line of why and "Retry"; a retry is a new signed request whose answer
// (taken, already decided, gone) is told; "Freeze all" denies every pending
// action and ends any trust window, and reports what it could not do.
class TestDecisions : public QObject
{
    Q_OBJECT

    static constexpr int decisionDeadlineMs = 1500;

    struct Fixture : PanelFixture
    {
        Fixture() { sync->setDecisionDeadline(decisionDeadlineMs); }

        QString status(const QString& id) const { return panel->actions()->decisionStatus(id); }
        bool failed(const QString& id) const { return panel->actions()->decisionFailed(id); }

        bool addActions(int count)
        {
            QStringList ids;
            for (int index = 0; index < count; ++index)
                ids << u"act-%1"_qs.arg(index);
            return addIds(ids);
        }
    };

    // Stops the back-end, and continues it however the test ends.
    struct StoppedBackend
    {
        qint64 pid;
        bool stopped = pid > 0 && ::kill(pid_t(pid), SIGSTOP) == 0;
        ~StoppedBackend() { resume(); }
        void resume()
        {
            if (std::exchange(stopped, false))
                ::kill(pid_t(pid), SIGCONT);
        }
    };

private Q_SLOTS:
    // The report's wording for each part, singular and plural.
    void outcomeTexts_data()
    {
        using Window = FreezeAll::Outcome::TrustWindow;
        QTest::addColumn<FreezeAll::Outcome>("outcome"); // denied, already decided, failed, trust window
        QTest::addColumn<QString>("text");
        QTest::newRow("one denied") << FreezeAll::Outcome { 1, 0, 0, Window::notActive }
                                    << u"Denied 1 action"_qs;
        QTest::newRow("one failed, window ended") << FreezeAll::Outcome { 0, 2, 1, Window::ended }
                                                  << u"2 already decided elsewhere, ended the trust window. "
                                                     "Failed: 1 action could not be denied"_qs;
        QTest::newRow("failures only") << FreezeAll::Outcome { 0, 0, 3, Window::failed }
                                       << u"Nothing was pending. Failed: 3 actions could not be denied, the "
                                          "back-end did not confirm the end of the trust window"_qs;
    }
    void outcomeTexts()
    {
        QFETCH(FreezeAll::Outcome, outcome);
        QFETCH(QString, text);
        QCOMPARE(outcome.text(), text);
    }

    void everyDecisionLeavesAVerifyingReceipt()
    {
        Fixture f;
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
                RuleChoice& rule = *f.panel->detail()->rule();
                rule.turn(!scopeOf(index).isEmpty());
                if (const auto scope = RuleScope::fromRawValue(scopeOf(index)))
                    rule.chooseScope(*scope);
            }
            QVERIFY2(QCoro::waitFor(f.panel->decide(id, decisionOf(index), fromDetail)), qPrintable(id));
            const QString rule = fromDetail && !scopeOf(index).isEmpty()
                ? u",\"create_rule\":{\"scope\":\"%1\"}"_qs.arg(scopeOf(index))
                : QString();
            QCOMPARE(f.decisionBodies(id),
                QStringList { u"{\"decision\":\"%1\"%2}"_qs.arg(decisionOf(index), rule) });
        }

        // A trust window that another client of the account opened, and an
        // action the back-end answers 409 for (decided on another device):
        // the freeze ends and counts both.
        TrustWindowState elsewhere(f.auth, f.network, f.biometric);
        QCoro::waitFor(elsewhere.activate());
        QVERIFY(elsewhere.isActive() && !f.trust->isActive());
        QVERIFY(f.backend.inject("POST", u"/approvals/act-10/respond"_qs, 409));

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
        for (int position = 1; position < 13; ++position) {
            const Receipt& receipt = receipts[position];
            const int index = 12 - position;
            const bool frozen = index >= 8;
            QCOMPARE(receipt.actionId, u"act-%1"_qs.arg(index));
            QCOMPARE(receipt.agent, u"claude-work"_qs);
            QCOMPARE(receipt.status, index == 10 ? 409 : 200);
            QCOMPARE(receipt.decision, frozen ? u"denied"_qs : decisionOf(index));
            QCOMPARE(receipt.scope, !frozen && index % 2 == 1 ? scopeOf(index) : QString());
        }

        // A second freeze finds no window and says nothing of one.
        const FreezeAll::Outcome again = QCoro::waitFor(freeze.run());
        QCOMPARE(again.trustWindow, FreezeAll::Outcome::TrustWindow::notActive);
        QCOMPARE(again.text(), u"Nothing was pending"_qs);
    }

    void reportsWhatFailedAndRetries()
    {
        Fixture f;
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

        QCoro::waitFor(freeze.run());
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
    // A decision from the detail page, with a rule, to a back-end that has
    // stopped answering.
    void heldDecisionFailsVisiblyAndRetrySettlesIt()
    {
        Fixture f;
        const QString id = u"held"_qs;
        QVERIFY(f.addIds({ id }));
        f.panel->showDetail(id);
        f.panel->detail()->rule()->turn(true);

        StoppedBackend stopped { f.backend.processId() };
        QVERIFY(stopped.stopped);
        f.panel->detail()->approve();
        QCOMPARE(f.status(id), u"Sending approval…"_qs);
        QVERIFY(f.panel->isResponding(id));
        QTRY_VERIFY_WITH_TIMEOUT(f.failed(id), decisionDeadlineMs + 2000);
        QCOMPARE(f.status(id), u"Couldn't reach Quorvane — your decision was not recorded"_qs);
        // The page and its row stay, with the buttons usable again.
        QCOMPARE(f.panel->content(), u"detail"_qs);
        QVERIFY(f.panel->selectedDecisionFailed());
        QCOMPARE(f.panel->selectedDecisionStatus(), f.status(id));
        QCOMPARE(f.panel->actions()->indexOf(id), 0);
        QVERIFY(!f.panel->isResponding(id));

        // The back-end wakes up and applies what it had received; the retry
        // is told whichever way the back-end saw it.
        stopped.resume();
        QTRY_VERIFY_WITH_TIMEOUT(f.backendStatus(id) != u"pending", 10000);
        QCOMPARE(f.backendStatus(id), u"approved"_qs);
        f.panel->retry(id);
        QTRY_COMPARE(f.panel->actions()->indexOf(id), -1);
        QCOMPARE(
            f.panel->notice(), u"Already decided: “rm -rf build” had a decision before this one arrived."_qs);
        QVERIFY(f.panel->holdsPopover());
        f.panel->dismissNotice();
        QVERIFY(!f.panel->holdsPopover());
        // The retry sent the same decision, rule and all.
        const QStringList bodies = f.decisionBodies(id);
        QCOMPARE(bodies.size(), 2);
        QCOMPARE(bodies.at(0), bodies.at(1));
        QVERIFY(bodies.at(1).contains(u"create_rule"));

        // Two receipts, each signed anew and verifying: the unconfirmed attempt
        // and the answer.
        const std::optional<QByteArray> key = Receipt::machinePublicKey();
        const QList<Receipt> lines = f.receiptsOf(id);
        QVERIFY(key && lines.size() == 2);
        QCOMPARE(lines.at(0).outcome, Receipt::notConfirmed);
        QCOMPARE(lines.at(1).status, 409);
        QVERIFY(lines.at(0).signature != lines.at(1).signature);
        for (const Receipt& line : lines)
            QCOMPARE(line.verify(*key), Receipt::Verification::verified);
    }

    void answers_data()
    {
        QTest::addColumn<int>("injected");
        QTest::addColumn<QString>("rowText"); // empty: the row leaves
        QTest::addColumn<QString>("notice");
        QTest::newRow("no answer") << 0 << u"Couldn't reach Quorvane — your decision was not recorded"_qs
                                   << QString();
        QTest::newRow("server error")
            << 503 << u"Quorvane had a problem (HTTP 503) — your decision was not recorded"_qs << QString();
        QTest::newRow("refused") << 403
                                 << u"Quorvane refused the decision (HTTP 403) — it was not recorded"_qs
                                 << QString();
        QTest::newRow("already decided")
            << 409 << QString()
            << u"Already decided: “rm -rf build” had a decision before this one arrived."_qs;
        QTest::newRow("gone")
            << 404 << QString()
            << u"“rm -rf build” is gone: it expired or was withdrawn, so nothing was decided."_qs;
    }
    void answers()
    {
        QFETCH(int, injected);
        QFETCH(QString, rowText);
        QFETCH(QString, notice);
        Fixture f;
        const QString id = u"a1"_qs;
        QVERIFY(f.addIds({ id }));
        // Qt sends a request again by itself when a connection closes without
        // an answer: each of its tries meets the injection.
        QVERIFY(f.backend.inject("POST", u"/approvals/a1/respond"_qs, injected, "{}", 10));

        QVERIFY(f.panel->pressKey(Qt::Key_D)); // the highlighted row
        QTRY_VERIFY(!f.panel->isResponding(id));
        QCOMPARE(f.panel->notice(), notice);
        if (rowText.isEmpty()) {
            QCOMPARE(f.panel->actions()->indexOf(id), -1);
            QCOMPARE(f.receiptsOf(id).size(), 1);
            return;
        }
        QCOMPARE(f.status(id), rowText);
        QVERIFY(f.failed(id));
        QCOMPARE(f.receiptsOf(id).constFirst().outcome,
            injected == 403 ? Receipt::refused : Receipt::notConfirmed);

        // D again retries, as a new request the back-end now takes.
        QCOMPARE(f.backend.request("DELETE", "/_control/inject").status, 200);
        const qsizetype tries = f.decisionBodies(id).size();
        QVERIFY(f.panel->pressKey(Qt::Key_D));
        QTRY_COMPARE(f.panel->actions()->indexOf(id), -1);
        QCOMPARE(f.backendStatus(id), u"denied"_qs);
        QCOMPARE(f.decisionBodies(id).size(), tries + 1);
        QCOMPARE(f.receiptsOf(id).size(), 2);
        QCOMPARE(f.receiptsOf(id).constLast().outcome, Receipt::confirmed);
        QCOMPARE(f.panel->notice(), QString());
    }
};

QTEST_GUILESS_MAIN(TestDecisions)
#include "tst_Decisions.moc"
