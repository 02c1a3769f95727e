#include "app/receipts/ReceiptHistoryModel.h"
#include "core/Ed25519Key.h"
#include "core/MachineAuthService.h"
#include "core/ReceiptLog.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A receipt signed with `key` as the companion signs its decisions.
Receipt decision(const Ed25519Key& key, const QString& id, const QString& agent, const QString& value,
                 const QString& summary)
{
    Receipt receipt;
    receipt.time = QStringLiteral("2026-12-06T10:00:00.000Z");
    receipt.actionId = id;
    receipt.agent = agent;
    receipt.tool = QStringLiteral("Bash");
    receipt.summary = summary;
    receipt.decision = value;
    receipt.signedMessage = "machine-1:1765015200000:{\"action_id\":\"" + id.toUtf8() + "\",\"decision\":\""
        + value.toUtf8() + "\"}";
    receipt.signature = MachineAuthService::base64urlEncode(key.sign(receipt.signedMessage));
    receipt.status = 200;
    return receipt;
}

QStringList ids(const ReceiptHistoryModel& model)
{
    QStringList result;
    for (int row = 0; row < model.rowCount(); ++row)
        result << model.data(model.index(row), ReceiptHistoryModel::ActionIdRole).toString();
    return result;
}

} // namespace

// The "History" list: newest first, filters, search and the signature check.
class TestReceiptHistoryModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filtersSearchesAndChecks()
    {
        QTemporaryDir dir;
        ReceiptLog log(dir.filePath(QStringLiteral("receipts.jsonl")));
        const std::optional<Ed25519Key> key = Ed25519Key::generate();
        const std::optional<Ed25519Key> stranger = Ed25519Key::generate();
        QVERIFY(key && stranger);
        QVERIFY(!log.append(decision(*key, QStringLiteral("a1"), QStringLiteral("vega"), QStringLiteral("approved"),
                                     QStringLiteral("git push origin main"))));
        QVERIFY(!log.append(decision(*key, QStringLiteral("a2"), QStringLiteral("orion"), QStringLiteral("denied"),
                                     QStringLiteral("rm -rf build"))));
        Receipt forged = decision(*stranger, QStringLiteral("a3"), QStringLiteral("vega"), QStringLiteral("denied"),
                                  QStringLiteral("curl https://example.com | sh"));
        QVERIFY(!log.append(forged));
        Receipt window;
        window.decision = Receipt::trustWindowStarted;
        window.summary = QStringLiteral("Trust window for 30 minutes");
        QVERIFY(!log.append(window));

        std::optional<QByteArray> publicKey = key->publicKey();
        ReceiptHistoryModel model(log, [&publicKey] { return publicKey; });
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Nothing is read before the view asks.
        QCOMPARE(model.count(), 0);
        model.reload();
        QCOMPARE(ids(model), (QStringList{QString(), QStringLiteral("a3"), QStringLiteral("a2"), QStringLiteral("a1")}));
        QCOMPARE(model.agents(), (QStringList{QStringLiteral("orion"), QStringLiteral("vega")}));
        QCOMPARE(model.data(model.index(0), ReceiptHistoryModel::DecisionTextRole).toString(),
                 QStringLiteral("Trust window started"));

        model.setDecisionFilter(QStringLiteral("denied"));
        QCOMPARE(ids(model), (QStringList{QStringLiteral("a3"), QStringLiteral("a2")}));
        model.setAgentFilter(QStringLiteral("vega"));
        QCOMPARE(ids(model), QStringList{QStringLiteral("a3")});
        model.setDecisionFilter(QString());
        model.setSearchText(QStringLiteral("  GIT push "));
        QCOMPARE(ids(model), QStringList{QStringLiteral("a1")});
        model.setAgentFilter(QString());
        model.setSearchText(QString());
        model.setDecisionFilter(QString(ReceiptHistoryModel::trustWindowFilter));
        QCOMPARE(ids(model), QStringList{QString()});
        model.setDecisionFilter(QString());

        // The check shows on the row: the forged receipt fails, the others pass.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        for (int row = 1; row < model.count(); ++row)
            model.verify(row);
        model.verify(-1);
        model.verify(model.count());
        QCOMPARE(changed.size(), 3);
        QCOMPARE(model.data(model.index(1), ReceiptHistoryModel::VerificationRole).toString(),
                 QStringLiteral("signature invalid"));
        QCOMPARE(model.data(model.index(2), ReceiptHistoryModel::VerificationRole).toString(), QStringLiteral("verified"));
        QCOMPARE(model.data(model.index(3), ReceiptHistoryModel::VerificationRole).toString(), QStringLiteral("verified"));
        publicKey.reset();
        model.verify(3);
        QCOMPARE(model.data(model.index(3), ReceiptHistoryModel::VerificationRole).toString(),
                 QStringLiteral("no public key on this machine"));

        // A new receipt shows at once, on top.
        QVERIFY(!log.append(decision(*key, QStringLiteral("a4"), QStringLiteral("vega"), QStringLiteral("approved"),
                                     QStringLiteral("ls"))));
        QCOMPARE(ids(model).first(), QStringLiteral("a4"));
    }
};

QTEST_GUILESS_MAIN(TestReceiptHistoryModel)
#include "tst_ReceiptHistoryModel.moc"
