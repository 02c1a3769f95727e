#include "core/ApprovalSyncService.h"
#include "platform/FileCredentialStore.h"
#include "core/Http.h"
#include "core/MachineAuthService.h"
#include "tests/support/TestHome.h"
#include "core/UpdateCheckService.h"

#include <QNetworkAccessManager>
#include <QTest>

// The timings the program runs with, read from services built the way the
// composition root builds them: changing one must be a deliberate decision
// that also changes this test.
class TestProductionTimings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timingsOfTheApprovalLoop()
    {
        TestHome home;
        FileCredentialStore store;
        MachineAuthService auth(store);
        QNetworkAccessManager network;
        ApprovalSyncService sync(auth, network);

        QCOMPARE(sync.pollInterval(), 15 * 1000);
        const WebSocketSubscriber::Timing& stream = sync.subscriber().timing();
        QCOMPARE(stream.initialBackoffMs, 1000);
        QCOMPARE(sync.subscriber().backoffMs(), 1000);
        QCOMPARE(stream.maximumBackoffMs, 60 * 1000);
        QCOMPARE(stream.stableAfterMs, 30 * 1000);
        QCOMPARE(stream.handshakeTimeoutMs, 60 * 1000);
        QCOMPARE(stream.pingIntervalMs, 30 * 1000);
        QCOMPARE(stream.pongTimeoutMs, 10 * 1000);
        QCOMPARE(Http::requestDeadlineMs, 60 * 1000);
        QCOMPARE(MachineAuthService::requestTimeoutMilliseconds, 60 * 1000);
        QCOMPARE(ApprovalSyncService::maximumRetryAfterSeconds, qint64(5 * 60));
    }

    void hourlyUpdateCheck()
    {
        QCOMPARE(UpdateCheckService::defaultCheckInterval, std::chrono::milliseconds(std::chrono::hours(1)));
    }

    void sizeLimits()
    {
        QCOMPARE(WebSocketSubscriber::maximumMessageSize, qint64(1024 * 1024));
        QCOMPARE(ApprovalSyncService::maximumPendingListSize, qint64(8 * 1024 * 1024));
        QCOMPARE(Http::defaultMaximumBodySize, qint64(1024 * 1024));
        QCOMPARE(ApprovalSyncService::maximumKeptActions, qsizetype(5000));
    }
};

QTEST_GUILESS_MAIN(TestProductionTimings)
#include "tst_ProductionTimings.moc"
