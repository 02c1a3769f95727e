#include "app/dashboard/McpInventory.h"
#include "app/tooling/SuggestionCount.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// What the dashboard reads itself: the MCP server inventory file, checked
// before it is synced, and the analysis's "count" value.
class TestMcpInventory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void syncBody_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("body"); // empty: nothing is sent
        QTest::newRow("servers passed through compact")
            << QByteArray(
                   "{\n  \"servers\": [ {\"name\": \"fs\", \"command\": \"mcp-fs\", \"args\": [\"-v\"]},\n"
                   "  {\"name\": \"web\", \"url\": \"http://127.0.0.1:9/mcp\", \"env\": {\"A\": \"b\"}} ]\n}")
            << QByteArray("{\"servers\":[{\"args\":[\"-v\"],\"command\":\"mcp-fs\",\"name\":\"fs\"},"
                          "{\"env\":{\"A\":\"b\"},\"name\":\"web\",\"url\":\"http://127.0.0.1:9/mcp\"}]}");
        QTest::newRow("other members dropped")
            << QByteArray("{\"version\":2,\"servers\":[{\"name\":\"a\"}],\"scanned_at\":\"now\"}")
            << QByteArray("{\"servers\":[{\"name\":\"a\"}]}");
        QTest::newRow("empty list is sent")
            << QByteArray("{\"servers\":[]}") << QByteArray("{\"servers\":[]}");
        QTest::newRow("text escapes kept") << QByteArray("{\"servers\":[{\"name\":\"a\\\"b\\u00e9\"}]}")
                                           << QByteArray("{\"servers\":[{\"name\":\"a\\\"b\xc3\xa9\"}]}");
        QTest::newRow("servers is an object") << QByteArray("{\"servers\":{\"name\":\"a\"}}") << QByteArray();
        QTest::newRow("servers missing") << QByteArray("{\"server\":[]}") << QByteArray();
        QTest::newRow("a server that is text")
            << QByteArray("{\"servers\":[{\"name\":\"a\"},\"b\"]}") << QByteArray();
        QTest::newRow("top level array") << QByteArray("[{\"servers\":[]}]") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("servers: []") << QByteArray();
        QTest::newRow("trailing garbage") << QByteArray("{\"servers\":[]} x") << QByteArray();
        QTest::newRow("invalid UTF-8")
            << QByteArray("{\"servers\":[{\"name\":\"\xff\xfe\"}]}") << QByteArray();
        QTest::newRow("deep nesting")
            << QByteArray(QByteArray("{\"servers\":[") + QByteArray(100000, '[')) << QByteArray();
    }
    void syncBody()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, body);
        const std::optional<QByteArray> result = McpInventory::syncBody(file);
        if (body.isEmpty()) {
            QVERIFY2(!result, result ? result->constData() : "");
        } else {
            QVERIFY(result);
            QCOMPARE(*result, body);
        }
    }

    // Only a regular file of a sane size is read; a FIFO would block the
    // main thread and a device might never end.
    void readFile()
    {
        QTemporaryDir dir;
        const QString small = dir.filePath(u"small.json"_s);
        const QString limit = dir.filePath(u"limit.json"_s);
        const QString huge = dir.filePath(u"huge.json"_s);
        const QString fifo = dir.filePath(u"fifo.json"_s);
        const QString link = dir.filePath(u"link.json"_s);
        const auto write = [](const QString& path, const QByteArray& bytes) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        QVERIFY(write(small, "{\"servers\":[]}"));
        QVERIFY(write(limit, QByteArray(McpInventory::maximumFileSize, ' ')));
        QVERIFY(write(huge, QByteArray(McpInventory::maximumFileSize + 1, ' ')));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(small, link));

        QCOMPARE(McpInventory::readFile(small), std::optional<QByteArray>("{\"servers\":[]}"));
        QCOMPARE(McpInventory::readFile(link), std::optional<QByteArray>("{\"servers\":[]}"));
        QCOMPARE(McpInventory::readFile(limit)->size(), McpInventory::maximumFileSize);
        QVERIFY(!McpInventory::readFile(huge));
        QVERIFY(!McpInventory::readFile(fifo));
        QVERIFY(!McpInventory::readFile(dir.path()));
        QVERIFY(!McpInventory::readFile(dir.filePath(u"missing.json"_s)));
        QVERIFY(!McpInventory::readFile(u"/dev/zero"_s));

        QFile unreadable(small);
        QVERIFY(unreadable.setPermissions(QFileDevice::WriteOwner));
        if (::geteuid() != 0) // root reads it anyway
            QVERIFY(!McpInventory::readFile(small));
    }

    // Strictly decimal, and 0 for anything else, also past the range.
    void suggestionCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("count");
        QTest::newRow("plain") << u"12"_s << qint64(12);
        QTest::newRow("negative") << u"-3"_s << qint64(-3);
        QTest::newRow("leading zeros") << u"007"_s << qint64(7);
        QTest::newRow("letters") << u"abc"_s << qint64(0);
        QTest::newRow("empty") << QString() << qint64(0);
        QTest::newRow("two signs") << u"+-5"_s << qint64(0);
        QTest::newRow("trailing newline") << u"5\n"_s << qint64(0);
        QTest::newRow("decimal point") << u"1.5"_s << qint64(0);
        QTest::newRow("arabic-indic digits") << u"\u0661\u0662"_s << qint64(0);
        QTest::newRow("largest") << u"9223372036854775807"_s << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << u"-9223372036854775808"_s << std::numeric_limits<qint64>::min();
        QTest::newRow("one past largest") << u"9223372036854775808"_s << qint64(0);
        QTest::newRow("one past smallest") << u"-9223372036854775809"_s << qint64(0);
        QTest::newRow("long zeros stay small") << QString(QString(200, u'0') + u"42"_s) << qint64(42);
    }
    void suggestionCount()
    {
        QFETCH(QString, text);
        QFETCH(qint64, count);
        QCOMPARE(SuggestionCount::parse(text), count);
    }
};

QTEST_GUILESS_MAIN(TestMcpInventory)
#include "tst_McpInventory.moc"
