#include "app/receipts/ReceiptHistoryModel.h"
#include "core/ReceiptLog.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// "History" leads with what the back-end made of each decision: a decision it
// never confirmed is never shown as done, and a later attempt that settled it
// is named beside it. Lines of older versions (without an outcome) still read.
class TestReceiptOutcomes : public QObject
{
    Q_OBJECT

    static Receipt receipt(const QString& id, const QString& decision, int status, const QString& time)
    {
        Receipt made;
        made.time = time;
        made.actionId = id;
        made.agent = QStringLiteral("vega");
        made.tool = QStringLiteral("Bash");
        made.summary = QStringLiteral("git push --force origin main");
        made.decision = decision;
        made.signedMessage = "m:1:{}";
        made.signature = QStringLiteral("sig-") + id + QString::number(status);
        made.status = status;
        made.outcome = Receipt::outcomeOf(status);
        return made;
    }

    // The local clock time of a UTC time, as History shows it.
    static QString local(const QString& utc)
    {
        return QDateTime::fromString(utc, Qt::ISODateWithMs)
            .toLocalTime()
            .toString(QStringLiteral("HH:mm:ss"));
    }

private Q_SLOTS:
    void outcomeComesFirst_data()
    {
        QTest::addColumn<QString>("decision");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("headline"); // %1: the local time
        QTest::addColumn<QString>("colour");
        QTest::newRow("approved") << QStringLiteral("approved") << 200
                                  << QStringLiteral("Approved · confirmed %1") << QStringLiteral("green");
        QTest::newRow("denied") << QStringLiteral("denied") << 200 << QStringLiteral("Denied · confirmed %1")
                                << QStringLiteral("red");
        QTest::newRow("no answer") << QStringLiteral("approved") << 0
                                   << QStringLiteral("Not confirmed — the server never answered")
                                   << QStringLiteral("secondaryLabel");
        QTest::newRow("server error") << QStringLiteral("approved") << 503
                                      << QStringLiteral("Not confirmed — the server answered HTTP 503")
                                      << QStringLiteral("secondaryLabel");
        QTest::newRow("already decided")
            << QStringLiteral("denied") << 409 << QStringLiteral("Already decided elsewhere · %1")
            << QStringLiteral("secondaryLabel");
        QTest::newRow("gone") << QStringLiteral("approved") << 404
                              << QStringLiteral("Not recorded — the action was gone")
                              << QStringLiteral("secondaryLabel");
        QTest::newRow("trust window")
            << QString(Receipt::trustWindowStarted) << 200
            << QStringLiteral("Trust window started · confirmed %1") << QStringLiteral("amber");
    }
    void outcomeComesFirst()
    {
        QFETCH(QString, decision);
        QFETCH(int, status);
        QFETCH(QString, headline);
        QFETCH(QString, colour);
        const QString time = QStringLiteral("2026-12-07T14:03:07.250Z");
        const Receipt made = receipt(QStringLiteral("a"), decision, status, time);
        QCOMPARE(ReceiptHistoryModel::outcomeText(made),
            headline.contains(u'%') ? headline.arg(local(time)) : headline);
        QCOMPARE(ReceiptHistoryModel::outcomeColorName(made), colour);
        QVERIFY(!ReceiptHistoryModel::outcomeText(made).contains(QLatin1String("UTC")));
    }

    void laterAttemptsSettleAndOldLinesStillRead()
    {
        QTemporaryDir dir;
        ReceiptLog log(dir.filePath(QStringLiteral("receipts.jsonl")));
        // A line as versions before the outcome wrote it, unconfirmed.
        Receipt old = receipt(QStringLiteral("held"), QStringLiteral("approved"), 0,
            QStringLiteral("2026-12-07T14:03:01.000Z"));
        old.outcome.clear();
        QVERIFY(!old.toJsonLine().contains("outcome"));
        QFile file(log.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old.toJsonLine() + '\n');
        file.close();
        QVERIFY(!log.append(receipt(QStringLiteral("held"), QStringLiteral("approved"), 409,
            QStringLiteral("2026-12-07T14:03:09.000Z"))));
        QVERIFY(!log.append(receipt(QStringLiteral("lost"), QStringLiteral("denied"), 0,
            QStringLiteral("2026-12-07T14:04:00.000Z"))));

        ReceiptHistoryModel model(log, [] { return std::optional<QByteArray>(); });
        QAbstractItemModelTester tester(&model);
        model.reload();
        QCOMPARE(model.count(), 3);
        const auto value = [&model](int row, int role) { return model.index(row).data(role).toString(); };
        // Newest first: the denial that never got an answer.
        QCOMPARE(value(0, ReceiptHistoryModel::OutcomeTextRole),
            QStringLiteral("Not confirmed — the server never answered"));
        QCOMPARE(value(0, ReceiptHistoryModel::RequestedTextRole), QStringLiteral("You chose: Denied"));
        QCOMPARE(value(0, ReceiptHistoryModel::SettledTextRole), QString());
        QCOMPARE(value(1, ReceiptHistoryModel::OutcomeTextRole),
            QStringLiteral("Already decided elsewhere · %1")
                .arg(local(QStringLiteral("2026-12-07T14:03:09.000Z"))));
        // The old line reads, counts as unconfirmed, and names what settled it.
        QCOMPARE(value(2, ReceiptHistoryModel::OutcomeTextRole),
            QStringLiteral("Not confirmed — the server never answered"));
        QCOMPARE(value(2, ReceiptHistoryModel::SettledTextRole),
            QStringLiteral("Then: ") + value(1, ReceiptHistoryModel::OutcomeTextRole));
        QCOMPARE(value(2, ReceiptHistoryModel::LocalTimeRole),
            QDateTime::fromString(QStringLiteral("2026-12-07T14:03:01Z"), Qt::ISODate)
                .toLocalTime()
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        // The decision as asked stays available for filters.
        QCOMPARE(value(2, ReceiptHistoryModel::DecisionRole), QStringLiteral("approved"));
    }
};

QTEST_GUILESS_MAIN(TestReceiptOutcomes)
#include "tst_ReceiptOutcomes.moc"
