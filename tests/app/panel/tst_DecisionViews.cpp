#include "tests/app/panel/PanelFixture.h"
#include "tests/app/panel/PanelView.h"

#include <QSignalSpy>
#include <QTest>

// What the popover shows of decisions that did not go through, of the
// connection, of a refused identity and of a paused popover; every button
// there leads somewhere.
class TestDecisionViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        QuorvaneStyle::applyDarkAppearance();
    }

    void failedDecisionShowsWhyAndRetries()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.add(f.action(QStringLiteral("v1"))));
        QVERIFY(f.fetch(1));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_COMPARE(view.all(QStringLiteral("pendingRow")).size(), 1);
        QCOMPARE(view.find(QStringLiteral("retryButton")), nullptr);

        QVERIFY(f.backend.inject("POST", QStringLiteral("/approvals/v1/respond"), 503, "{}"));
        view.click(view.find(QStringLiteral("approveButton")));
        QTRY_VERIFY(view.find(QStringLiteral("retryButton")));
        QCOMPARE(view.text(QStringLiteral("decisionStatus")),
                 QStringLiteral("Quorvane had a problem (HTTP 503) — your decision was not recorded"));
        view.screenshot(QStringLiteral("panel-decision-failed"));

        view.click(view.find(QStringLiteral("retryButton")));
        QTRY_COMPARE(f.panel->content(), QStringLiteral("empty"));
        QCOMPARE(f.backend.actionStatus(QStringLiteral("v1")).value(QLatin1String("status")).toString(),
                 QStringLiteral("approved"));
        QVERIFY2(view.warnings().isEmpty(), qPrintable(view.warnings().join(u'\n')));
    }

    void identityRefusedOffersSetUpAgainAndPausedOffersResume()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QCOMPARE(view.find(QStringLiteral("setUpAgainButton")), nullptr);
        QCOMPARE(view.find(QStringLiteral("resumeButton")), nullptr);

        QVERIFY(f.fetchRefused(ApprovalSyncService::refusalsBeforeIdentityRefused));
        QTRY_VERIFY(view.find(QStringLiteral("setUpAgainButton")));
        QSignalSpy setUp(f.panel.get(), &ApprovalsPanel::setUpAgainRequested);
        view.click(view.find(QStringLiteral("setUpAgainButton")));
        QCOMPARE(setUp.size(), 1);

        f.panel->setAutoOpenPaused(true);
        QTRY_VERIFY(view.find(QStringLiteral("resumeButton")));
        QSignalSpy resume(f.panel.get(), &ApprovalsPanel::resumeRequested);
        view.click(view.find(QStringLiteral("resumeButton")));
        QCOMPARE(resume.size(), 1);
        QVERIFY2(view.warnings().isEmpty(), qPrintable(view.warnings().join(u'\n')));
    }

    void offlineShowsInTheHeader()
    {
        PanelFixture f;
        QVERIFY2(f.ready(), qPrintable(f.backend.lastError()));
        QVERIFY(f.add(f.action(QStringLiteral("e1"))));
        QVERIFY(f.fetch(1));
        PanelView view(*f.panel);
        QVERIFY(view.ok());
        QTRY_VERIFY(view.find(QStringLiteral("explainButton")));
        QCOMPARE(view.find(QStringLiteral("connectionStatus")), nullptr);
        QVERIFY(f.backend.refuseWebSocket(600));
        QVERIFY(f.backend.inject("GET", QStringLiteral("/actions/pending"), 502, "{}"));
        f.sync->start();
        QTRY_VERIFY_WITH_TIMEOUT(view.find(QStringLiteral("connectionStatus")), 10000);
        QVERIFY(view.text(QStringLiteral("connectionStatus")).startsWith(QStringLiteral("Offline — retrying in ")));
        QVERIFY(view.text(QStringLiteral("connectionDetail")).contains(QStringLiteral("HTTP 502")));
        view.screenshot(QStringLiteral("panel-offline"));
        // No refresh can bring an explanation now: only rows carrying one offer it.
        QTRY_COMPARE(view.find(QStringLiteral("explainButton")), nullptr);
        f.sync->fetchPendingFromPush();
        QTRY_COMPARE(view.text(QStringLiteral("connectionStatus")), QStringLiteral("Back online"));
        QCOMPARE(view.find(QStringLiteral("connectionDetail")), nullptr);
        QTRY_VERIFY(view.find(QStringLiteral("explainButton")));
    }
};

QTEST_MAIN(TestDecisionViews)
#include "tst_DecisionViews.moc"
