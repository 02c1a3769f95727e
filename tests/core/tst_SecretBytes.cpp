#include "core/SecretBytes.h"

#include <QTest>

class TestSecretBytes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyHolderIsWipedInPlace()
    {
        QByteArray bytes("0123456789abcdef0123456789abcdef");
        bytes.detach();
        const char* where = bytes.constData();
        SecretBytes::cleanse(bytes);
        QCOMPARE(bytes.constData(), where);
        QCOMPARE(bytes, QByteArray(32, '\0'));

        QString text = QStringLiteral("private-key-text");
        text.detach();
        SecretBytes::cleanse(text);
        QCOMPARE(text, QString(16, QChar(0)));
    }

    void sharedBufferIsLeftToItsOtherHolder()
    {
        const QByteArray kept("still needed");
        QByteArray copy = kept;
        SecretBytes::cleanse(copy);
        QVERIFY(copy.isEmpty());
        QCOMPARE(kept, QByteArray("still needed"));

        QByteArray empty;
        SecretBytes::cleanse(empty);
        QVERIFY(empty.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSecretBytes)
#include "tst_SecretBytes.moc"
