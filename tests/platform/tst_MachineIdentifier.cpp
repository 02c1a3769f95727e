#include "platform/MachineIdentifier.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestMachineIdentifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What `systemd-id128 machine-id --app-specific=7f0a0202-e8d3-4ff2-a1a4-d4cdc4f2f101 -u`
    // prints on a machine whose /etc/machine-id is 3d1219c7c4c5404aaa1f6d2a48adfda4.
    void matchesSystemdsAppSpecificId_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("with line break") << "3d1219c7c4c5404aaa1f6d2a48adfda4\n"_ba;
        QTest::newRow("without line break") << "3d1219c7c4c5404aaa1f6d2a48adfda4"_ba;
        QTest::newRow("upper-case hex") << "3D1219C7C4C5404AAA1F6D2A48ADFDA4\n"_ba;
    }

    void matchesSystemdsAppSpecificId()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"machine-id"_s);
        QVERIFY(TestFiles::write(path, content, 0644));
        QCOMPARE(MachineIdentifier::localMachineIdentifier(path, u"host"_s),
            u"EE3F71B4-1437-447F-9A67-2DA4036DEA1F"_s);
        QVERIFY(TestFiles::write(path, "3d1219c7c4c5404aaa1f6d2a48adfda5\n", 0644));
        const QString other = MachineIdentifier::localMachineIdentifier(path, u"host"_s);
        QVERIFY(other != u"EE3F71B4-1437-447F-9A67-2DA4036DEA1F"_s && other != u"host"_s);
    }

    void fallsBackToTheHostName_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<missing>", "<fifo>", "<directory>" or the file content
        QTest::newRow("missing file") << "<missing>"_ba;
        QTest::newRow("FIFO") << "<fifo>"_ba;
        QTest::newRow("directory") << "<directory>"_ba;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("uninitialized") << "uninitialized\n"_ba;
        QTest::newRow("too short") << "3d1219c7c4c5404aaa1f6d2a48adfda\n"_ba;
        QTest::newRow("too long") << "3d1219c7c4c5404aaa1f6d2a48adfda44\n"_ba;
        QTest::newRow("not hex") << "3d1219c7c4c5404aaa1f6d2a48adfdzz\n"_ba;
        QTest::newRow("all zero") << "00000000000000000000000000000000\n"_ba;
        QTest::newRow("dashed") << "3d1219c7-c4c5-404a-aa1f-6d2a48adfda4\n"_ba;
        QTest::newRow("two lines") << "3d1219c7c4c5404aaa1f6d2a48adfda4\n\n"_ba;
        QTest::newRow("huge") << "3d1219c7c4c5404aaa1f6d2a48adfda4\n"_ba + QByteArray(100000, ' ');
    }

    void fallsBackToTheHostName()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"machine-id"_s);
        if (content == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (content == "<directory>")
            QVERIFY(QDir(dir.path()).mkdir(u"machine-id"_s));
        else if (content != "<missing>")
            QVERIFY(TestFiles::write(path, content, 0644));
        QCOMPARE(
            MachineIdentifier::localMachineIdentifier(path, u"build-box.example"_s), u"build-box.example"_s);
        // Without a host name given, the computer's own.
        QCOMPARE(MachineIdentifier::localMachineIdentifier(path), QSysInfo::machineHostName());
    }
};

QTEST_GUILESS_MAIN(TestMachineIdentifier)
#include "tst_MachineIdentifier.moc"
