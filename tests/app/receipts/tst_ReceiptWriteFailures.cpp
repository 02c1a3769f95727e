#include "app/receipts/ReceiptHistoryModel.h"
#include "core/Ed25519Key.h"
#include "core/MachineAuthService.h"
#include "core/ReceiptLog.h"
#include "core/SignedRequest.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

// No sent decision goes without a trace: a receipt with absurdly long fields
// is written cut (and says so), and one that cannot be written at all is
// shown in the history with the reason.
class TestReceiptWriteFailures : public QObject
{
    Q_OBJECT

    std::optional<Ed25519Key> m_key;

    // A decision on actionId as the sync service signs and records it.
    SignedRequest signedDecision(const QString& actionId) const
    {
        const QByteArray message = "machine-1:1765015200000:{\"action_id\":\"" + actionId.toUtf8()
            + "\",\"decision\":\"approved\"}";
        SignedRequest request;
        request.request.setRawHeader("X-Signed-Message", message);
        request.request.setRawHeader(
            "X-Signature", MachineAuthService::base64urlEncode(m_key->sign(message)).toLatin1());
        return request;
    }

    static Receipt decision(const QString& actionId, const QString& agent)
    {
        Receipt receipt;
        receipt.actionId = actionId;
        receipt.agent = agent;
        receipt.tool = QStringLiteral("Bash");
        receipt.summary = QStringLiteral("git push");
        receipt.decision = QStringLiteral("approved");
        return receipt;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_key = Ed25519Key::generate();
        QVERIFY(m_key);
    }

    // A 70,000-character action id and agent name: the receipt is written
    // with both cut and marked, and cannot pass for a checked one.
    void longFieldsAreCutAndMarked()
    {
        QTemporaryDir dir;
        ReceiptLog log(dir.filePath(QStringLiteral("receipts.jsonl")));
        ReceiptHistoryModel history(log, [this] { return std::optional<QByteArray>(m_key->publicKey()); });
        const QString actionId(70000, u'a');
        log.record(decision(actionId, QString(70000, u'b')), signedDecision(actionId), 200);

        const QList<Receipt> receipts = log.readAll();
        QCOMPARE(receipts.size(), 1);
        const Receipt& written = receipts.first();
        QCOMPARE(written.actionId, QString(Receipt::maximumFieldLength, u'a'));
        QCOMPARE(written.agent, QString(Receipt::maximumFieldLength, u'b'));
        QCOMPARE(written.tool, QStringLiteral("Bash"));
        QCOMPARE(written.status, 200);
        QCOMPARE(written.signedMessage.size(), Receipt::maximumSignedMessageSize);
        QCOMPARE(written.cut,
            QStringList(
                { QStringLiteral("action_id"), QStringLiteral("agent"), QStringLiteral("signed_message") }));
        QVERIFY(history.writeFailures().isEmpty());
        history.reload();
        QCOMPARE(history.count(), 1);
        history.verify(0);
        QCOMPARE(history.data(history.index(0), ReceiptHistoryModel::VerificationRole).toString(),
            QStringLiteral("cut to fit the log, cannot be checked"));

        // A whole receipt is still checked as before.
        log.record(decision(QStringLiteral("act-2"), QStringLiteral("vega")),
            signedDecision(QStringLiteral("act-2")), 200);
        history.reload();
        QCOMPARE(history.count(), 2);
        QVERIFY(history.data(history.index(0), ReceiptHistoryModel::ActionIdRole).toString()
            == QLatin1String("act-2"));
        history.verify(0);
        QCOMPARE(history.data(history.index(0), ReceiptHistoryModel::VerificationRole).toString(),
            QStringLiteral("verified"));
    }

    // A full disk (the file size limit at 0 bytes): the decision's receipt
    // cannot be written, and the history says so and why.
    void unwrittenReceiptIsShown()
    {
        QTemporaryDir dir;
        ReceiptLog log(dir.filePath(QStringLiteral("receipts.jsonl")));
        ReceiptHistoryModel history(log, [this] { return std::optional<QByteArray>(m_key->publicKey()); });
        QSignalSpy changes(&history, &ReceiptHistoryModel::writeFailuresChanged);

        // Past the limit a write fails with EFBIG once SIGXFSZ is ignored.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit full = previous;
        full.rlim_cur = 0;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
        log.record(decision(QStringLiteral("act-1"), QStringLiteral("vega")),
            signedDecision(QStringLiteral("act-1")), 200);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &previous), 0);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(log.readAll().isEmpty());
        QCOMPARE(changes.size(), 1);
        const QStringList lines = history.writeFailures();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(QStringLiteral("A receipt could not be written (Approved act-1, ")),
            qPrintable(lines.first()));
        QVERIFY2(lines.first().endsWith(QStringLiteral("): cannot write the receipts log: File too large")),
            qPrintable(lines.first()));
        QCOMPARE(log.failures().size(), 1);
        QCOMPARE(log.failures().first().actionId, QStringLiteral("act-1"));
    }
};

QTEST_GUILESS_MAIN(TestReceiptWriteFailures)
#include "tst_ReceiptWriteFailures.moc"
