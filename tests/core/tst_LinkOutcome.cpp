#include "core/LinkOutcome.h"

#include <QTest>

// Reading the back-end's answer to linking an agent with the session token.
class TestLinkOutcome : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answers_data();
    void answers();
    void oversizedBody();
};

void TestLinkOutcome::answers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<bool>("seeded");
    QTest::addColumn<qint64>("rulesCount");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("seeded") << 200 << QByteArray(R"({"seeded":true,"rules_count":12})") << true << true
                            << qint64(12) << QString();
    QTest::newRow("members missing") << 200 << QByteArray("{}") << true << false << qint64(0) << QString();
    QTest::newRow("members mistyped") << 200 << QByteArray(R"({"seeded":"yes","rules_count":"12"})") << true
                                      << false << qint64(0) << QString();
    QTest::newRow("fractional count") << 200 << QByteArray(R"({"seeded":true,"rules_count":1.5})") << true << true
                                      << qint64(0) << QString();
    QTest::newRow("200 without an object") << 200 << QByteArray("[1]") << false << false << qint64(0) << QString();
    QTest::newRow("200 not JSON") << 200 << QByteArray("linked") << false << false << qint64(0) << QString();
    QTest::newRow("refused with a text") << 403 << QByteArray(R"({"error":"agent belongs to another account"})")
                                         << false << false << qint64(0)
                                         << QStringLiteral("agent belongs to another account");
    QTest::newRow("refused, error not a text") << 401 << QByteArray(R"({"error":7})") << false << false << qint64(0)
                                               << QString();
    QTest::newRow("refused, plain text") << 500 << QByteArray("down") << false << false << qint64(0) << QString();
    // Another status never links, whatever the body says.
    QTest::newRow("201") << 201 << QByteArray(R"({"seeded":true,"rules_count":12})") << false << false << qint64(0)
                         << QString();
}

void TestLinkOutcome::answers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, linked);
    QFETCH(bool, seeded);
    QFETCH(qint64, rulesCount);
    QFETCH(QString, refusal);
    const LinkOutcome outcome = LinkOutcome::fromResponse(status, body);
    QCOMPARE(outcome.linked, linked);
    QCOMPARE(outcome.seeded, seeded);
    QCOMPARE(outcome.rulesCount, rulesCount);
    QCOMPARE(outcome.refusal.value_or(QString()), refusal);
    QCOMPARE(outcome.refusal.has_value(), !refusal.isEmpty());
}

void TestLinkOutcome::oversizedBody()
{
    QByteArray body = R"({"seeded":true,"rules_count":12,"padding":")";
    body.append(QByteArray(LinkOutcome::maximumSize, 'x'));
    body.append("\"}");
    QCOMPARE(LinkOutcome::fromResponse(200, body), LinkOutcome{});
}

QTEST_MAIN(TestLinkOutcome)
#include "tst_LinkOutcome.moc"
