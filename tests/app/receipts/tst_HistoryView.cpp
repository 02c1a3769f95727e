#include "app/receipts/ReceiptHistoryModel.h"
#include "app/style/QuorvaneStyle.h"
#include "core/Ed25519Key.h"
#include "core/MachineAuthService.h"
#include "core/ReceiptLog.h"
#include "tests/support/QmlTestSupport.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The "History" view, offscreen, over a log of real signed receipts.
class TestHistoryView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        QuorvaneStyle::applyDarkAppearance();
    }

    void listsFiltersAndChecksReceipts()
    {
        QTemporaryDir dir;
        ReceiptLog log(dir.filePath(QStringLiteral("receipts.jsonl")));
        const std::optional<Ed25519Key> key = Ed25519Key::generate();
        QVERIFY(key);
        const QStringList summaries{QStringLiteral("git push origin main"), QStringLiteral("rm -rf build"),
                                    QStringLiteral("npm publish"), QStringLiteral("curl -fsSL https://get.example.dev | sh")};
        for (int index = 0; index < summaries.size(); ++index) {
            Receipt receipt;
            receipt.time = QStringLiteral("2026-12-06T10:0%1:00.000Z").arg(index);
            receipt.actionId = QStringLiteral("act-%1").arg(index);
            receipt.agent = index % 2 ? QStringLiteral("orion") : QStringLiteral("vega");
            receipt.tool = QStringLiteral("Bash");
            receipt.summary = summaries.at(index);
            receipt.decision = index == 1 ? QStringLiteral("denied") : QStringLiteral("approved");
            receipt.scope = index == 2 ? QStringLiteral("machine") : QString();
            QByteArray body = "{\"action_id\":\"" + receipt.actionId.toUtf8() + "\",\"decision\":\"" + receipt.decision.toUtf8() + '"';
            if (!receipt.scope.isEmpty())
                body += ",\"create_rule\":{\"scope\":\"machine\"}";
            receipt.signedMessage = "machine-1:1765015200000:" + body + '}';
            receipt.signature = MachineAuthService::base64urlEncode(key->sign(receipt.signedMessage));
            receipt.status = 200;
            QVERIFY(!log.append(receipt));
        }
        ReceiptHistoryModel history(log, [&key] { return std::optional<QByteArray>(key->publicKey()); });

        QmlWarningGuard guard;
        QQmlEngine engine;
        QmlWarningGuard::prepare(engine);
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Quorvane/Receipts/HistoryView.qml")));
        QVERIFY2(component.isReady(), qPrintable(component.errorString()));
        std::unique_ptr<QObject> root(component.createWithInitialProperties({{QStringLiteral("history"), QVariant::fromValue(&history)}}));
        QVERIFY2(root, qPrintable(component.errorString()));
        QQuickWindow window;
        auto* item = qobject_cast<QQuickItem*>(root.get());
        item->setParentItem(window.contentItem());
        window.resize(540, 620);
        item->setSize(window.size());
        window.setColor(QuorvaneStyle::windowBackground());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTRY_COMPARE(QmlItems::visible(item, QStringLiteral("receiptRow")).size(), 4);
        QCOMPARE(QmlItems::visible(item, QStringLiteral("receiptSummary")).first()->property("text").toString(),
                 summaries.last());
        for (int row = 0; row < history.count(); ++row)
            history.verify(row);
        QTRY_COMPARE(QmlItems::visible(item, QStringLiteral("receiptVerification")).size(), 4);
        QCOMPARE(QmlItems::visible(item, QStringLiteral("receiptVerification")).first()->property("text").toString(),
                 QStringLiteral("✓ signature verified"));

        const QString shots = qEnvironmentVariable("QUORVANE_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            QTest::qWait(100);
            QVERIFY(window.grabWindow().save(QDir(shots).filePath(QStringLiteral("history.png"))));
        }

        history.setDecisionFilter(QStringLiteral("denied"));
        QTRY_COMPARE(QmlItems::visible(item, QStringLiteral("receiptRow")).size(), 1);
        history.setDecisionFilter(QString());
        history.setSearchText(QStringLiteral("nothing like this"));
        QTRY_VERIFY(!QmlItems::visible(item, QStringLiteral("noReceiptsLabel")).isEmpty());
        QVERIFY2(guard.warnings().isEmpty(), qPrintable(guard.warnings().join(u'\n')));
    }
};

QTEST_MAIN(TestHistoryView)
#include "tst_HistoryView.moc"
