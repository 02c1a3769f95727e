#include "core/Ed25519Key.h"

#include <QTest>

class TestEd25519Key : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // RFC 8032, section 7.1: TEST 1, TEST 2, TEST 3 and TEST SHA(abc).
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
        QTest::newRow("TEST 2") << QByteArray::fromHex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb")
                                << QByteArray::fromHex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c")
                                << QByteArray::fromHex("72")
                                << QByteArray::fromHex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
                                                       "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
        QTest::newRow("TEST 3") << QByteArray::fromHex("c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7")
                                << QByteArray::fromHex("fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025")
                                << QByteArray::fromHex("af82")
                                << QByteArray::fromHex("6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
                                                       "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a");
        QTest::newRow("TEST SHA(abc)")
            << QByteArray::fromHex("833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42")
            << QByteArray::fromHex("ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf")
            << QByteArray::fromHex("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                                   "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f")
            << QByteArray::fromHex("dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b589"
                                   "09351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad9bef1177331a704");
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
