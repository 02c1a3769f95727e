#include "app/dashboard/SuggestionCount.h"

#include <QTest>
#include <limits>

// The strict decimal reading of an analysis's "count" value.
class TestSuggestionCount : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("count");
        QTest::newRow("plain") << QStringLiteral("12") << qint64(12);
        QTest::newRow("leading plus") << QStringLiteral("+7") << qint64(7);
        QTest::newRow("negative") << QStringLiteral("-3") << qint64(-3);
        QTest::newRow("leading zeros") << QStringLiteral("007") << qint64(7);
        QTest::newRow("letters") << QStringLiteral("abc") << qint64(0);
        QTest::newRow("digits then letters") << QStringLiteral("12abc") << qint64(0);
        QTest::newRow("empty") << QString() << qint64(0);
        QTest::newRow("sign only") << QStringLiteral("+") << qint64(0);
        QTest::newRow("two signs") << QStringLiteral("+-5") << qint64(0);
        QTest::newRow("leading space") << QStringLiteral(" 5") << qint64(0);
        QTest::newRow("trailing newline") << QStringLiteral("5\n") << qint64(0);
        QTest::newRow("decimal point") << QStringLiteral("1.5") << qint64(0);
        QTest::newRow("hex") << QStringLiteral("0x10") << qint64(0);
        QTest::newRow("arabic-indic digits") << QStringLiteral("\u0661\u0662") << qint64(0);
        QTest::newRow("fullwidth digits") << QStringLiteral("\uFF11\uFF12") << qint64(0);
        QTest::newRow("largest") << QStringLiteral("9223372036854775807")
                                 << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << QStringLiteral("-9223372036854775808")
                                  << std::numeric_limits<qint64>::min();
        QTest::newRow("one past largest") << QStringLiteral("9223372036854775808") << qint64(0);
        QTest::newRow("one past smallest") << QStringLiteral("-9223372036854775809") << qint64(0);
        QTest::newRow("long zeros stay small")
            << QString(QString(200, u'0') + QStringLiteral("42")) << qint64(42);
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(qint64, count);
        QCOMPARE(SuggestionCount::parse(text), count);
    }
};

QTEST_GUILESS_MAIN(TestSuggestionCount)
#include "tst_SuggestionCount.moc"
