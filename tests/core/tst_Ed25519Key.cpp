#include "core/Ed25519Key.h"

#include <QTest>

class TestEd25519Key : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // RFC 8032, section 7.1: TEST 1 (empty message) and TEST 3.
    void matchesTheRfc8032Vectors_data()
    {
        QTest::addColumn<QByteArray>("seed");
        QTest::addColumn<QByteArray>("publicKey");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("signature");
        QTest::newRow("TEST 1") << QByteArray::fromHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60")
                                << QByteArray::fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a")
                                << QByteArray()
                                << QByteArray::fromHex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
                                                       "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b");
        QTest::newRow("TEST 3") << QByteArray::fromHex("c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7")
                                << QByteArray::fromHex("fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025")
                                << QByteArray::fromHex("af82")
                                << QByteArray::fromHex("6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
                                                       "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a");
    }
    void matchesTheRfc8032Vectors()
    {
        QFETCH(QByteArray, seed);
        QFETCH(QByteArray, publicKey);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, signature);

        const auto key = Ed25519Key::fromSeed(seed);
        QVERIFY(key);
        QCOMPARE(key->seed().toHex(), seed.toHex());
        QCOMPARE(key->publicKey().toHex(), publicKey.toHex());
        QCOMPARE(key->sign(message).toHex(), signature.toHex());

        QVERIFY(Ed25519Key::verify(publicKey, message, signature));
        QByteArray tampered = signature;
        tampered[10] = char(tampered[10] ^ 0x01);
        QVERIFY(!Ed25519Key::verify(publicKey, message, tampered));
        QVERIFY(!Ed25519Key::verify(publicKey, message + 'x', signature));
        QVERIFY(!Ed25519Key::verify(publicKey.left(31), message, signature));
        QVERIFY(!Ed25519Key::verify(publicKey, message, signature.left(63)));
    }

    void refusesSeedsOfAnyOtherLength_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {0, 1, 31, 33, 64})
            QTest::addRow("%d bytes", length) << length;
    }
    void refusesSeedsOfAnyOtherLength()
    {
        QFETCH(int, length);
        QVERIFY(!Ed25519Key::fromSeed(QByteArray(length, '\x11')));
    }

    void generatedKeysAreFreshAndRoundTripThroughTheirSeed()
    {
        const auto first = Ed25519Key::generate();
        const auto second = Ed25519Key::generate();
        QVERIFY(first && second);
        QCOMPARE(first->seed().size(), 32);
        QCOMPARE(first->publicKey().size(), 32);
        QVERIFY(first->seed() != second->seed());

        const auto restored = Ed25519Key::fromSeed(first->seed());
        QVERIFY(restored);
        QCOMPARE(restored->publicKey(), first->publicKey());

        const QByteArray message("m-1:1700000000000:GET /actions/pending");
        const QByteArray signature = first->sign(message);
        QCOMPARE(signature.size(), 64);
        // Ed25519 is deterministic: the same key signs the same message alike.
        QCOMPARE(restored->sign(message), signature);
        QVERIFY(Ed25519Key::verify(first->publicKey(), message, signature));
        QVERIFY(!Ed25519Key::verify(second->publicKey(), message, signature));

        // Copies share the key and outlive the original.
        std::optional<Ed25519Key> copy;
        {
            const Ed25519Key original = *Ed25519Key::generate();
            copy = original;
            QCOMPARE(copy->publicKey(), original.publicKey());
        }
        QVERIFY(Ed25519Key::verify(copy->publicKey(), message, copy->sign(message)));
    }
};

QTEST_GUILESS_MAIN(TestEd25519Key)
#include "tst_Ed25519Key.moc"
