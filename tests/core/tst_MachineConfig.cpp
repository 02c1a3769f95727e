#include "core/MachineConfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestMachineConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesOnlyCompleteRecords_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("complete") << QByteArray(R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n"})")
                                  << true;
        QTest::newRow("extra keys") << QByteArray(R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n","v":2})")
                                    << true;
        QTest::newRow("pretty printed")
            << QByteArray("{\n  \"name\": \"n\",\n  \"id\": \"m\",\n  \"user_id\": \"u\",\n  \"machine_id_local\": \"l\"\n}\n")
            << true;
        QTest::newRow("missing user_id") << QByteArray(R"({"id":"m","machine_id_local":"l","name":"n"})") << false;
        QTest::newRow("number") << QByteArray(R"({"id":"m","user_id":5,"machine_id_local":"l","name":"n"})") << false;
        QTest::newRow("bool") << QByteArray(R"({"id":true,"user_id":"u","machine_id_local":"l","name":"n"})")
                              << false;
        QTest::newRow("object") << QByteArray(R"({"id":"m","user_id":"u","machine_id_local":{},"name":"n"})")
                                << false;
        QTest::newRow("array") << QByteArray(R"(["m","u","l","n"])") << false;
        QTest::newRow("string") << QByteArray(R"("m")") << false;
        QTest::newRow("trailing garbage")
            << QByteArray(R"({"id":"m","user_id":"u","machine_id_local":"l","name":"n"}x)") << false;
        QTest::newRow("truncated") << QByteArray("{\"id\":\"m\",\"user_id\":\"u\",\"machine_id_local\":\"l\",\"na") << false;
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
            QCOMPARE(*config, (MachineConfig{QStringLiteral("m"), QStringLiteral("u"), QStringLiteral("l"),
                                             QStringLiteral("n")}));
    }

    void encodesCompactJsonThatDecodesBack()
    {
        const MachineConfig config{QStringLiteral("m-1"), QStringLiteral("u-\"7\""), QStringLiteral("A-B"),
                                   QStringLiteral("caf\u00e9 box")};
        const QByteArray json = config.encode();
        QVERIFY(!json.contains('\n'));
        QCOMPARE(json.count(' '), 1); // compact: the name holds the only space
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QCOMPARE(object.keys(), (QStringList{QStringLiteral("id"), QStringLiteral("machine_id_local"),
                                             QStringLiteral("name"), QStringLiteral("user_id")}));
        QCOMPARE(object.value(QLatin1String("user_id")).toString(), QStringLiteral("u-\"7\""));
        QCOMPARE(MachineConfig::decode(json), std::optional<MachineConfig>(config));
    }
};

QTEST_GUILESS_MAIN(TestMachineConfig)
#include "tst_MachineConfig.moc"
