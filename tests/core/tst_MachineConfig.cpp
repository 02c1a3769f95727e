#include "core/MachineConfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMachineConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesOnlyCompleteRecords_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("complete") << R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n"})"_ba
                                  << true;
        QTest::newRow("extra keys")
            << R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n","v":2})"_ba << true;
        QTest::newRow("missing user_id") << R"({"id":"m","machine_id_local":"l","name":"n"})"_ba << false;
        QTest::newRow("number") << R"({"id":"m","user_id":5,"machine_id_local":"l","name":"n"})"_ba << false;
        QTest::newRow("object") << R"({"id":"m","user_id":"u","machine_id_local":{},"name":"n"})"_ba << false;
        QTest::newRow("array") << R"(["m","u","l","n"])"_ba << false;
        QTest::newRow("trailing garbage")
            << R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n"}x)"_ba << false;
        QTest::newRow("truncated") << "{\"id\":\"m\",\"user_id\":\"u\",\"machine_id_local\":\"l\",\"na"_ba
                                   << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{", 4) << false;
    }
    void decodesOnlyCompleteRecords()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const auto config = MachineConfig::decode(json);
        QCOMPARE(config.has_value(), decodes);
        if (decodes)
            QCOMPARE(*config, (MachineConfig { u"m"_s, u"u"_s, u"l"_s, u"n"_s }));
    }

    void encodesCompactJsonThatDecodesBack()
    {
        const MachineConfig config { u"m-1"_s, u"u-\"7\""_s, u"A-B"_s, u"caf\u00e9 box"_s };
        const QByteArray json = config.encode();
        QVERIFY(!json.contains('\n'));
        QCOMPARE(json.count(' '), 1); // compact: the name holds the only space
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QCOMPARE(object.keys(), (QStringList { u"id"_s, u"machine_id_local"_s, u"name"_s, u"user_id"_s }));
        QCOMPARE(object.value("user_id"_L1).toString(), u"u-\"7\""_s);
        QCOMPARE(MachineConfig::decode(json), std::optional<MachineConfig>(config));
    }
};

QTEST_GUILESS_MAIN(TestMachineConfig)
#include "tst_MachineConfig.moc"
