#include "core/ApiUrl.h"
#include "core/JsonText.h"
#include "tests/support/TestHome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// The texts spliced into request bodies and paths: ordinary values stay byte for
// byte, hostile ones can change neither the JSON structure nor the address.
class TestRequestText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void escapingKeepsBodiesValidJson_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("escaped");
        QTest::newRow("ordinary") << QStringLiteral("approved") << QByteArray("approved");
        QTest::newRow("uuid") << QStringLiteral("6f1c-AB") << QByteArray("6f1c-AB");
        QTest::newRow("quote") << QStringLiteral("a\"b") << QByteArray("a\\\"b");
        QTest::newRow("backslash") << QStringLiteral("a\\b") << QByteArray("a\\\\b");
        QTest::newRow("newline") << QStringLiteral("a\nb") << QByteArray("a\\nb");
        QTest::newRow("control") << QString(QChar(0x01)) << QByteArray("\\u0001");
        QTest::newRow("unicode kept") << QStringLiteral("é✓") << QStringLiteral("é✓").toUtf8();
        QTest::newRow("injection") << QStringLiteral("x\",\"create_rule\":{\"scope\":\"global\"}}")
                                   << QByteArray("x\\\",\\\"create_rule\\\":{\\\"scope\\\":\\\"global\\\"}}");
    }
    void escapingKeepsBodiesValidJson()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, escaped);
        QCOMPARE(JsonText::escaped(value), escaped);
        const QByteArray body = "{\"v\":\"" + JsonText::escaped(value) + "\"}";
        const QJsonDocument document = QJsonDocument::fromJson(body);
        QVERIFY(document.isObject());
        QCOMPARE(document.object().size(), 1);
        QCOMPARE(document.object().value(QLatin1String("v")).toString(), value);
    }

    void pathValuesStayOneSegment_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("path");
        QTest::newRow("ordinary") << QStringLiteral("act-123_x.y~") << QStringLiteral("/approvals/act-123_x.y~/respond");
        QTest::newRow("slash") << QStringLiteral("../../machines/m") << QStringLiteral("/approvals/..%2F..%2Fmachines%2Fm/respond");
        QTest::newRow("dot dot") << QStringLiteral("..") << QString();
        QTest::newRow("dot") << QStringLiteral(".") << QString();
        QTest::newRow("encoded dot dot") << QStringLiteral("%2E%2E") << QStringLiteral("/approvals/%252E%252E/respond");
        QTest::newRow("query") << QStringLiteral("a?admin=1#f") << QStringLiteral("/approvals/a%3Fadmin%3D1%23f/respond");
        QTest::newRow("host") << QStringLiteral("@evil.com") << QStringLiteral("/approvals/%40evil.com/respond");
        QTest::newRow("space") << QStringLiteral("a b") << QStringLiteral("/approvals/a%20b/respond");
    }
    void pathValuesStayOneSegment()
    {
        QFETCH(QString, id);
        QFETCH(QString, path);
        qputenv("QUORVANE_API_BASE_URL", "http://127.0.0.1:9");
        const QUrl url = ApiUrl::endpoint(QStringLiteral("/approvals/") + ApiUrl::pathSegment(id) + QStringLiteral("/respond"));
        qunsetenv("QUORVANE_API_BASE_URL");
        // Dot segments would be resolved by the server into another path: refused.
        if (path.isNull()) {
            QVERIFY(!url.isValid());
            return;
        }
        QVERIFY(url.isValid());
        QCOMPARE(url.host(), QStringLiteral("127.0.0.1"));
        QCOMPARE(url.port(), 9);
        QVERIFY(!url.hasQuery());
        QVERIFY(!url.hasFragment());
        QCOMPARE(url.path(QUrl::FullyEncoded), path);
    }
};

QTEST_GUILESS_MAIN(TestRequestText)
#include "tst_RequestText.moc"
