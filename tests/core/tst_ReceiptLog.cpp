#include "core/Ed25519Key.h"
#include "core/MachineAuthService.h"
#include "core/ReceiptLog.h"
#include "tests/support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Receipt sampleReceipt(int index)
{
    Receipt receipt;
    receipt.time = u"2026-12-06T10:00:00.123Z"_s;
    receipt.actionId = u"action-%1"_s.arg(index);
    receipt.agent = u"claude-work"_s;
    receipt.tool = u"Bash"_s;
    receipt.summary = u"rm -rf \"build\"\n– %1"_s.arg(index);
    receipt.decision = u"denied"_s;
    receipt.signedMessage = "machine-1:1765015200123:{\"action_id\":\"action-1\",\"decision\":\"denied\"}";
    receipt.signature = u"abc_-"_s;
    receipt.status = 409;
    return receipt;
}

QStringList actionIds(const QList<Receipt>& receipts)
{
    QStringList ids;
    for (const Receipt& receipt : receipts)
        ids << receipt.actionId;
    return ids;
}

// A receipt signed the way the companion signs its decision requests.
Receipt signedReceipt(const Ed25519Key& key, const QString& decision, const QByteArray& payload)
{
    Receipt receipt = sampleReceipt(1);
    receipt.decision = decision;
    receipt.signedMessage = "machine-1:1765015200123:" + payload;
    receipt.signature = MachineAuthService::base64urlEncode(key.sign(receipt.signedMessage));
    return receipt;
}

} // namespace

// The signed receipts of decisions: their lines, their verification, and the rotating log.
class TestReceiptLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linesRoundTripAndRefuseWhatIsNotAReceipt()
    {
        const Receipt receipt = sampleReceipt(7);
        const QByteArray line = receipt.toJsonLine();
        QVERIFY(!line.contains('\n'));
        QCOMPARE(Receipt::fromJsonLine(line), receipt);

        Receipt longSummary = receipt;
        longSummary.summary = QString(Receipt::maximumSummaryLength + 50, u'x');
        QCOMPARE(
            Receipt::fromJsonLine(longSummary.toJsonLine())->summary.size(), Receipt::maximumSummaryLength);

        const QByteArray refused[] = {
            "",
            "{",
            "[1,2]",
            "\"text\"",
            line.left(line.size() - 1),
            QByteArray(line).replace("\"status\":409", "\"status\":\"409\""),
            QByteArray(line).replace("\"status\":409", "\"status\":4.5"),
            QByteArray(line).replace("\"status\":409", "\"status\":-1"),
            QByteArray(line).replace("\"status\":409", "\"status\":100000"),
            QByteArray(line).replace("\"agent\":", "\"agents\":"),
            QByteArray(line).replace("\"tool\":\"Bash\"", "\"tool\":null"),
            "{\"time\":\"" + QByteArray(Receipt::maximumLineSize, 'a') + "\"}",
        };
        for (const QByteArray& text : refused)
            QVERIFY2(!Receipt::fromJsonLine(text), text.left(80).constData());
    }

    void verificationChecksTheSignatureAndWhatWasSigned()
    {
        const std::optional<Ed25519Key> key = Ed25519Key::generate();
        const std::optional<Ed25519Key> otherKey = Ed25519Key::generate();
        QVERIFY(key && otherKey);
        const QByteArray denial = "{\"action_id\":\"action-1\",\"decision\":\"denied\"}";

        Receipt receipt = signedReceipt(*key, u"denied"_s, denial);
        QCOMPARE(receipt.verify(key->publicKey()), Receipt::Verification::verified);
        QCOMPARE(receipt.verify(otherKey->publicKey()), Receipt::Verification::signatureInvalid);
        // The receipt read back from its line verifies just the same.
        QCOMPARE(Receipt::fromJsonLine(receipt.toJsonLine())->verify(key->publicKey()),
            Receipt::Verification::verified);

        Receipt edited = receipt;
        edited.decision = u"approved"_s;
        QCOMPARE(edited.verify(key->publicKey()), Receipt::Verification::contentMismatch);
        edited = receipt;
        edited.actionId = u"action-2"_s;
        QCOMPARE(edited.verify(key->publicKey()), Receipt::Verification::contentMismatch);
        edited = receipt;
        edited.signedMessage.replace("denied", "approved");
        QCOMPARE(edited.verify(key->publicKey()), Receipt::Verification::signatureInvalid);
        edited = receipt;
        edited.signature = u"not base64url!"_s;
        QCOMPARE(edited.verify(key->publicKey()), Receipt::Verification::signatureInvalid);

        Receipt withRule = signedReceipt(*key, u"approved"_s,
            "{\"action_id\":\"action-1\",\"decision\":\"approved\",\"create_rule\":{\"scope\":\"machine\"}}");
        QCOMPARE(withRule.verify(key->publicKey()), Receipt::Verification::contentMismatch);
        withRule.scope = u"machine"_s;
        QCOMPARE(withRule.verify(key->publicKey()), Receipt::Verification::verified);

        Receipt ended = signedReceipt(*key, Receipt::trustWindowEnded, "DELETE /trust-window");
        ended.actionId.clear();
        QCOMPARE(ended.verify(key->publicKey()), Receipt::Verification::verified);
        Receipt started = signedReceipt(
            *key, Receipt::trustWindowStarted, "{\"duration_minutes\":30,\"machine_id\":\"m\"}");
        QCOMPARE(started.verify(key->publicKey()), Receipt::Verification::verified);
        started.decision = Receipt::trustWindowEnded;
        QCOMPARE(started.verify(key->publicKey()), Receipt::Verification::contentMismatch);
    }

    void appendsPrivatelyAndRotatesKeepingTheNewest()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"nested/receipts.jsonl"_s);
        // Room for four lines (with their line breaks) per file.
        const qint64 limit = 4 * (sampleReceipt(10).toJsonLine().size() + 1);
        ReceiptLog log(path, limit, 3);
        QSignalSpy appended(&log, &ReceiptLog::appended);
        for (int index = 0; index < 20; ++index)
            QVERIFY(!log.append(sampleReceipt(index)));
        QCOMPARE(appended.size(), 20);

        QCOMPARE(TestFiles::modeOf(path), 0600);
        QVERIFY(QFile::exists(log.filePath(1)) && QFile::exists(log.filePath(2)));
        QVERIFY(!QFile::exists(log.filePath(3)));
        for (int age = 0; age < 3; ++age)
            QVERIFY(QFileInfo(log.filePath(age)).size() <= limit);

        // Newest first, without gaps, as far back as the kept files reach.
        const QStringList ids = actionIds(log.readAll());
        QCOMPARE(ids.size(), 12);
        for (int position = 0; position < ids.size(); ++position)
            QCOMPARE(ids[position], u"action-%1"_s.arg(19 - position));
    }

    void aTornLineHarmsNeitherEarlierNorLaterReceipts()
    {
        QTemporaryDir dir;
        ReceiptLog log(dir.filePath(u"receipts.jsonl"_s));
        QVERIFY(!log.append(sampleReceipt(1)));
        QVERIFY(!log.append(sampleReceipt(2)));
        const QByteArray torn = sampleReceipt(3).toJsonLine().left(40);
        {
            QFile file(log.path());
            QVERIFY(file.open(QIODevice::Append));
            file.write(torn);
        }
        QCOMPARE(actionIds(log.readAll()), (QStringList { u"action-2"_s, u"action-1"_s }));

        QVERIFY(!log.append(sampleReceipt(4)));
        QCOMPARE(actionIds(log.readAll()), (QStringList { u"action-4"_s, u"action-2"_s, u"action-1"_s }));
        // The torn text stays a damaged line of its own.
        const QList<QByteArray> lines = TestFiles::contentOf(log.path()).split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[2], torn);
        QVERIFY(lines[4].isEmpty());

        // A log that is not a regular file is refused, not followed.
        QVERIFY(QDir(dir.path()).mkdir(u"folder.jsonl"_s));
        ReceiptLog folder(dir.filePath(u"folder.jsonl"_s));
        QVERIFY(folder.append(sampleReceipt(1)).has_value());
        QVERIFY(folder.readAll().isEmpty());
    }

    void aWriterKilledMidBurstLeavesOnlyWholeReceipts()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"receipts.jsonl"_s);
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedChannels);
        writer.start(QCoreApplication::applicationDirPath() + u"/receipt_burst_writer"_s, { path });
        QVERIFY2(writer.waitForStarted(10000), qPrintable(writer.errorString()));
        ReceiptLog log(path);
        QTRY_VERIFY_WITH_TIMEOUT(log.readAll().size() >= 300, 30000);
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        const QList<Receipt> receipts = log.readAll();
        qsizetype wholeLines = 0;
        for (int age = 0; age < ReceiptLog::defaultKeptFiles; ++age) {
            const QByteArray content = TestFiles::contentOf(log.filePath(age));
            QList<QByteArray> lines = content.split('\n');
            lines.removeLast(); // after the last line break: empty, or a torn line
            for (const QByteArray& line : std::as_const(lines))
                QVERIFY2(Receipt::fromJsonLine(line), line.left(80).constData());
            wholeLines += lines.size();
        }
        QCOMPARE(receipts.size(), wholeLines);
        // Newest first and in the order written.
        const qsizetype newest = receipts.first().actionId.mid(6).toLongLong();
        for (qsizetype position = 1; position < receipts.size(); ++position)
            QCOMPARE(receipts[position].actionId, u"burst-%1"_s.arg(newest - position));

        QVERIFY(!log.append(sampleReceipt(1)));
        QCOMPARE(log.readAll().first().actionId, u"action-1"_s);
    }
};

QTEST_GUILESS_MAIN(TestReceiptLog)
#include "tst_ReceiptLog.moc"
