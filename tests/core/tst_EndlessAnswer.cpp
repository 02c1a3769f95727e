#include "core/ApprovalSyncService.h"
#include "core/Http.h"
#include "tests/support/FloodPeerProcess.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProcessMemory.h"

#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QTest>
#include <QThread>
#include <QTimer>

// A server that answers with a chunked body that never ends, as fast as the
// kernel carries it, from its own process: the largest cap any request has
// (the pending list's) holds as the bytes arrive, so this process never
// gathers much more than the cap before the answer is refused, even when its
// own thread is busy (as a program's drawing keeps it) while the network
// thread receives.
class TestEndlessAnswer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endlessChunkedAnswerIsCutAtTheCap()
    {
        FloodPeerProcess peer(QStringLiteral("chunked"));
        QVERIFY(peer.isRunning());
        QNetworkAccessManager network;
        LogCapture log;
        const QNetworkRequest request(QUrl(peer.origin() + QStringLiteral("/actions/pending")));
        const Http::Limits limits { ApprovalSyncService::maximumPendingListSize };
        QTimer busy;
        QObject::connect(&busy, &QTimer::timeout, &busy, [] { QThread::msleep(100); });
        busy.start(0);

        // More attempts than the network manager keeps connections to one host:
        // a connection that carried a refused answer is not used again.
        for (int attempt = 0; attempt < 8; ++attempt) {
            auto task = Http::send(network, request, "GET", {}, limits);
            const HttpResponse response = QCoro::waitFor(std::move(task));
            QCOMPARE(response.status, 200);
            QVERIFY(response.bodyTooLarge);
            QVERIFY(response.body.isEmpty());
        }
        busy.stop();
        QCOMPARE(log.lines(),
            QStringList { QStringLiteral(
                "Quorvane: refused an answer of /actions/pending larger than 8388608 bytes") });
        qInfo("peak resident set: %lld KiB", ProcessMemory::peakResidentKiB());
        if (ProcessMemory::meaningful)
            QVERIFY2(ProcessMemory::peakResidentKiB() < 100 * 1024,
                qPrintable(QString::number(ProcessMemory::peakResidentKiB())));
    }
};

QTEST_GUILESS_MAIN(TestEndlessAnswer)
#include "tst_EndlessAnswer.moc"
