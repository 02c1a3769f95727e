#include "core/ProgressPercent.h"

#include <QTest>

#include <limits>

// Progress values from outside (child processes, downloads) turned into what a
// window shows: never a crash, never a number outside 0..100.
class TestProgressPercent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void percentages_data()
    {
        QTest::addColumn<double>("progress");
        QTest::addColumn<int>("whole");
        QTest::addColumn<double>("clamped");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("zero") << 0.0 << 0 << 0.0;
        QTest::newRow("cut, not rounded") << 0.426 << 42 << 0.426;
        QTest::newRow("almost done") << 0.999 << 99 << 0.999;
        QTest::newRow("done") << 1.0 << 100 << 1.0;
        QTest::newRow("tiny") << 1e-300 << 0 << 1e-300;
        QTest::newRow("a little above") << 1.5 << 100 << 1.0;
        QTest::newRow("far above: 1e300") << 1e300 << 100 << 1.0;
        QTest::newRow("largest double") << std::numeric_limits<double>::max() << 100 << 1.0;
        QTest::newRow("below: -5") << -5.0 << 0 << 0.0;
        QTest::newRow("far below") << -1e300 << 0 << 0.0;
        QTest::newRow("+inf") << inf << 100 << 1.0;
        QTest::newRow("-inf") << -inf << 0 << 0.0;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 0 << 0.0;
        QTest::newRow("negative NaN") << -std::numeric_limits<double>::quiet_NaN() << 0 << 0.0;
    }
    void percentages()
    {
        QFETCH(double, progress);
        QFETCH(int, whole);
        QFETCH(double, clamped);
        QCOMPARE(ProgressPercent::whole(progress), whole);
        QCOMPARE(ProgressPercent::clamped(progress), clamped);
        QCOMPARE(ProgressPercent::text(progress), QString::number(whole) + QStringLiteral("%"));
    }
};

QTEST_GUILESS_MAIN(TestProgressPercent)
#include "tst_ProgressPercent.moc"
