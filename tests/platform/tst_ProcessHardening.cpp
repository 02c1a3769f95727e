#include "platform/ProcessHardening.h"

#include <QFileInfo>
#include <QTest>


class TestProcessHardening : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void coreDumpsAreDisabled()
    {
        QVERIFY(ProcessHardening::isDumpable());
        QVERIFY(ProcessHardening::disableCoreDumps());
        QVERIFY(!ProcessHardening::isDumpable());
        // The kernel now shows the process's own files as root's: no other
        // process of the user can open its memory.
        QFileInfo memory(QStringLiteral("/proc/self/mem"));
        QCOMPARE(memory.ownerId(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestProcessHardening)
#include "tst_ProcessHardening.moc"
