#include "app/panel/FreezeAll.h"
#include "tests/app/panel/PanelFixture.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QTest>

// A freeze ends every trust window the back-end has, also one another client
// opened, and its report stays up (holding the popover open) until dismissed.
class TestFreezeReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endsAWindowOpenedElsewhereAndKeepsItsReport()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        for (const QString& id : { QStringLiteral("f0"), QStringLiteral("f1"), QStringLiteral("f2") })
            QVERIFY(f.add(f.action(id)));
        QVERIFY(f.fetch(3));

        // Another client of the account opens a window; this one does not know.
        TrustWindowState elsewhere(f.auth, f.network, f.biometric);
        QCoro::waitFor(elsewhere.activate());
        QVERIFY(elsewhere.isActive());
        QCOMPARE(f.backend.state().value(QStringLiteral("trust_windows")).toArray().size(), 1);
        QVERIFY(!f.trust->isActive());

        FreezeAll& freeze = *f.panel->freeze();
        QSignalSpy finished(&freeze, &FreezeAll::finished);
        QSignalSpy held(f.panel.get(), &ApprovalsPanel::holdsPopoverChanged);
        freeze.requestConfirmation();
        QVERIFY(f.panel->holdsPopover());
        freeze.confirm();
        QTRY_VERIFY_WITH_TIMEOUT(!freeze.isRunning(), 20000);

        QCOMPARE(freeze.report(), QStringLiteral("Denied 3 actions, ended the trust window"));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toString(), freeze.report());
        QVERIFY(!freeze.canRetry());
        QCOMPARE(f.backend.state().value(QStringLiteral("trust_windows")).toArray().size(), 0);
        for (const QString& id : { QStringLiteral("f0"), QStringLiteral("f1"), QStringLiteral("f2") })
            QCOMPARE(f.backend.actionStatus(id).value(QLatin1String("status")).toString(),
                QStringLiteral("denied"));

        // The list is empty, yet the report holds the popover until it is dismissed.
        QCOMPARE(f.panel->content(), QStringLiteral("empty"));
        QVERIFY(f.panel->holdsPopover());
        freeze.dismissReport();
        QVERIFY(!f.panel->holdsPopover());
        QVERIFY(!held.isEmpty());

        // A second freeze finds no window and says nothing of one.
        const FreezeAll::Outcome again = QCoro::waitFor(freeze.run());
        QCOMPARE(again.trustWindow, FreezeAll::Outcome::TrustWindow::notActive);
        QCOMPARE(again.text(), QStringLiteral("Nothing was pending"));
    }

    void aFailedFreezeOffersRetry()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.add(f.action(QStringLiteral("r0"))));
        QVERIFY(f.fetch(1));
        QVERIFY(f.backend.inject("POST", QStringLiteral("/approvals/r0/respond"), 503));
        FreezeAll& freeze = *f.panel->freeze();
        QCoro::waitFor(freeze.run());
        QCOMPARE(
            freeze.report(), QStringLiteral("Nothing was pending. Failed: 1 action could not be denied"));
        QVERIFY(freeze.canRetry());
        freeze.retry();
        QTRY_VERIFY_WITH_TIMEOUT(
            !freeze.isRunning() && freeze.report() == QLatin1String("Denied 1 action"), 20000);
        QVERIFY(!freeze.canRetry());
    }
};

QTEST_GUILESS_MAIN(TestFreezeReport)
#include "tst_FreezeReport.moc"
