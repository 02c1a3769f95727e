#include "tests/app/panel/PanelFixture.h"

#include <QSignalSpy>
#include <QTest>
#include <csignal>

// Every decision ends in a state the person can see: a failed one keeps its
// row with one line of why and "Retry"; a retry is a new signed request whose
// answer (taken, already decided, gone) is told; the receipts say what the
// back-end confirmed and what it never did.
class TestDecisionFailures : public QObject
{
    Q_OBJECT

    static constexpr int decisionDeadlineMs = 1500;

    struct Fixture : PanelFixture
    {
        Fixture() { sync->setDecisionDeadline(decisionDeadlineMs); }

        QString status(const QString& id) const { return panel->actions()->decisionStatus(id); }
        bool failed(const QString& id) const { return panel->actions()->decisionFailed(id); }
    };

    // Continues a stopped back-end however the test ends.
    struct StoppedBackend
    {
        qint64 pid;
        explicit StoppedBackend(qint64 processId)
            : pid(processId)
        {
            ::kill(pid_t(pid), SIGSTOP);
        }
        ~StoppedBackend() { resume(); }
        void resume()
        {
            if (pid > 0)
                ::kill(pid_t(pid), SIGCONT);
            pid = 0;
        }
    };

private Q_SLOTS:
    void heldDecisionFailsVisiblyAndRetrySettlesIt()
    {
        Fixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        const QString id = QStringLiteral("held");
        QVERIFY(f.add(f.action(id)));
        QVERIFY(f.fetch(1));

        StoppedBackend stopped(f.backend.processId());
        f.panel->approve(id);
        QCOMPARE(f.status(id), QStringLiteral("Sending approval…"));
        QVERIFY(f.panel->isResponding(id));
        QTRY_VERIFY_WITH_TIMEOUT(f.failed(id), decisionDeadlineMs + 2000);
        QCOMPARE(f.status(id), QStringLiteral("Couldn't reach Quorvane — your decision was not recorded"));
        // The row stays, with its buttons usable again.
        QCOMPARE(f.panel->actions()->indexOf(id), 0);
        QVERIFY(!f.panel->isResponding(id));

        // The back-end wakes up and applies what it had received; the retry
        // is told whichever way the back-end saw it.
        stopped.resume();
        QTRY_VERIFY_WITH_TIMEOUT(f.backendStatus(id) != QLatin1String("pending"), 10000);
        QCOMPARE(f.backendStatus(id), QStringLiteral("approved"));
        f.panel->retry(id);
        QTRY_COMPARE(f.panel->actions()->indexOf(id), -1);
        QCOMPARE(f.panel->notice(),
            QStringLiteral("Already decided: “rm -rf build” had a decision before this one arrived."));
        QVERIFY(f.panel->holdsPopover());
        f.panel->dismissNotice();
        QVERIFY(!f.panel->holdsPopover());

        // Two receipts, both verifying: the unconfirmed attempt and the answer.
        const std::optional<QByteArray> key = Receipt::machinePublicKey();
        QVERIFY(key);
        const QList<Receipt> lines = f.receiptsOf(id);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0).outcome, Receipt::notConfirmed);
        QCOMPARE(lines.at(0).status, 0);
        QCOMPARE(lines.at(1).outcome, Receipt::alreadyDecided);
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
        QTest::newRow("no answer") << 0
                                   << QStringLiteral(
                                          "Couldn't reach Quorvane — your decision was not recorded")
                                   << QString();
        QTest::newRow("server error")
            << 503 << QStringLiteral("Quorvane had a problem (HTTP 503) — your decision was not recorded")
            << QString();
        QTest::newRow("refused") << 403
                                 << QStringLiteral(
                                        "Quorvane refused the decision (HTTP 403) — it was not recorded")
                                 << QString();
        QTest::newRow("already decided")
            << 409 << QString()
            << QStringLiteral("Already decided: “rm -rf build” had a decision before this one arrived.");
        QTest::newRow("gone")
            << 404 << QString()
            << QStringLiteral("“rm -rf build” is gone: it expired or was withdrawn, so nothing was decided.");
    }
    void answers()
    {
        QFETCH(int, injected);
        QFETCH(QString, rowText);
        QFETCH(QString, notice);
        Fixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        const QString id = QStringLiteral("a1");
        QVERIFY(f.add(f.action(id)));
        QVERIFY(f.fetch(1));
        // Qt sends a request again by itself when a connection closes without
        // an answer: each of its tries meets the injection.
        QVERIFY(f.backend.inject("POST", QStringLiteral("/approvals/a1/respond"), injected, "{}", 10));

        // A denial from the keyboard: the highlighted row.
        QVERIFY(f.panel->pressKey(Qt::Key_D));
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
        QCOMPARE(f.backendStatus(id), QStringLiteral("denied"));
        QCOMPARE(f.decisionBodies(id).size(), tries + 1);
        QCOMPARE(f.receiptsOf(id).size(), 2);
        QCOMPARE(f.receiptsOf(id).constLast().outcome, Receipt::confirmed);
        QCOMPARE(f.panel->notice(), QString());
    }

    void detailRetryKeepsTheScope()
    {
        Fixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        const QString id = QStringLiteral("d1");
        QVERIFY(f.add(f.action(id)));
        QVERIFY(f.fetch(1));
        f.panel->showDetail(id);
        f.panel->detail()->setCreateRule(true);
        QVERIFY(f.backend.inject("POST", QStringLiteral("/approvals/d1/respond"), 502, "{}"));
        QSignalSpy changed(f.panel.get(), &ApprovalsPanel::selectedDecisionStatusChanged);
        f.panel->approveSelected();
        QTRY_VERIFY(f.panel->selectedDecisionFailed());
        QCOMPARE(f.panel->selectedDecisionStatus(),
            QStringLiteral("Quorvane had a problem (HTTP 502) — your decision was not recorded"));
        QCOMPARE(f.panel->content(), QStringLiteral("detail"));
        QVERIFY(!changed.isEmpty());

        f.panel->retry(id);
        QTRY_COMPARE(f.panel->content(), QStringLiteral("empty"));
        const QStringList bodies = f.decisionBodies(id);
        QCOMPARE(bodies.size(), 2);
        QCOMPARE(bodies.at(0), bodies.at(1));
        QVERIFY(bodies.at(1).contains(QLatin1String("create_rule")));
    }
};

QTEST_GUILESS_MAIN(TestDecisionFailures)
#include "tst_DecisionFailures.moc"
