#include "platform/MachineIdentifier.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <sys/stat.h>

namespace {

// The expected identifier, computed here with OpenSSL's EVP_MAC interface:
// HMAC-SHA256 keyed by the machine id over the application id, first 16 bytes,
// version 4 and RFC 4122 variant bits, upper-case 8-4-4-4-12 text.
QString expectedIdentifier(const QByteArray& machineId)
{
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* context = EVP_MAC_CTX_new(mac);
    char digestName[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digestName, 0),
                                 OSSL_PARAM_construct_end()};
    unsigned char out[32];
    size_t length = 0;
    const QByteArray message = MachineIdentifier::applicationId();
    const bool ok = EVP_MAC_init(context, reinterpret_cast<const unsigned char*>(machineId.constData()),
                                 size_t(machineId.size()), params)
        && EVP_MAC_update(context, reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()))
        && EVP_MAC_final(context, out, &length, sizeof out);
    EVP_MAC_CTX_free(context);
    EVP_MAC_free(mac);
    if (!ok || length != 32)
        return {};
    out[6] = (out[6] & 0x0f) | 0x40;
    out[8] = (out[8] & 0x3f) | 0x80;
    const QString hex = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(out), 16).toHex()).toUpper();
    return hex.left(8) + u'-' + hex.mid(8, 4) + u'-' + hex.mid(12, 4) + u'-' + hex.mid(16, 4) + u'-' + hex.mid(20);
}

QString writeMachineId(const QTemporaryDir& dir, const QByteArray& content)
{
    const QString path = dir.filePath(QStringLiteral("machine-id"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(content);
    return path;
}

} // namespace

class TestMachineIdentifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void derivesAnAppSpecificUuidFromTheMachineId_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("with line break") << QByteArray("3d1219c7c4c5404aaa1f6d2a48adfda4\n");
        QTest::newRow("without line break") << QByteArray("0123456789abcdef0123456789abcdef");
        QTest::newRow("upper-case hex") << QByteArray("FEDCBA9876543210FEDCBA9876543210\n");
        QTest::newRow("one bit set") << QByteArray("00000000000000000000000000000001\n");
    }
    void derivesAnAppSpecificUuidFromTheMachineId()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = writeMachineId(dir, content);
        const QString id = MachineIdentifier::localMachineIdentifier(path, QStringLiteral("fallback-host"));
        QCOMPARE(id, expectedIdentifier(QByteArray::fromHex(content.trimmed())));
        static const QRegularExpression form(
            QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"));
        QVERIFY2(form.match(id).hasMatch(), qPrintable(id));
        // Stable: the same file gives the same identifier.
        QCOMPARE(MachineIdentifier::localMachineIdentifier(path, QStringLiteral("other-host")), id);
    }

    void matchesSystemdsAppSpecificId()
    {
        // `systemd-id128 machine-id --app-specific=7f0a0202-e8d3-4ff2-a1a4-d4cdc4f2f101 -u` on a machine whose
        // /etc/machine-id is 3d1219c7c4c5404aaa1f6d2a48adfda4.
        QTemporaryDir dir;
        const QString path = writeMachineId(dir, "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
        QCOMPARE(MachineIdentifier::localMachineIdentifier(path, QStringLiteral("h")),
                 QStringLiteral("EE3F71B4-1437-447F-9A67-2DA4036DEA1F"));
        QCOMPARE(MachineIdentifier::applicationId().toHex(), QByteArray("7f0a0202e8d34ff2a1a4d4cdc4f2f101"));
        // Different machines give different identifiers.
        const QString other = writeMachineId(dir, "3d1219c7c4c5404aaa1f6d2a48adfda5\n");
        QVERIFY(MachineIdentifier::localMachineIdentifier(other, QStringLiteral("h"))
                != QStringLiteral("EE3F71B4-1437-447F-9A67-2DA4036DEA1F"));
    }

    void fallsBackToTheHostName_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<missing>", "<fifo>", "<directory>" or the file content
        QTest::newRow("missing file") << QByteArray("<missing>");
        QTest::newRow("FIFO") << QByteArray("<fifo>");
        QTest::newRow("directory") << QByteArray("<directory>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("uninitialized") << QByteArray("uninitialized\n");
        QTest::newRow("too short") << QByteArray("3d1219c7c4c5404aaa1f6d2a48adfda\n");
        QTest::newRow("too long") << QByteArray("3d1219c7c4c5404aaa1f6d2a48adfda44\n");
        QTest::newRow("not hex") << QByteArray("3d1219c7c4c5404aaa1f6d2a48adfdzz\n");
        QTest::newRow("all zero") << QByteArray("00000000000000000000000000000000\n");
        QTest::newRow("dashed") << QByteArray("3d1219c7-c4c5-404a-aa1f-6d2a48adfda4\n");
        QTest::newRow("two lines") << QByteArray("3d1219c7c4c5404aaa1f6d2a48adfda4\n\n");
        QTest::newRow("binary") << QByteArray("\x00\xff\x10", 3);
        QTest::newRow("huge") << QByteArray(100000, 'a');
    }
    void fallsBackToTheHostName()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("machine-id"));
        if (content == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (content == "<directory>")
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("machine-id")));
        else if (content != "<missing>")
            path = writeMachineId(dir, content);
        QCOMPARE(MachineIdentifier::localMachineIdentifier(path, QStringLiteral("build-box.example")),
                 QStringLiteral("build-box.example"));
        // Without a host name given, the computer's own.
        QCOMPARE(MachineIdentifier::localMachineIdentifier(path), QSysInfo::machineHostName());
    }
};

QTEST_GUILESS_MAIN(TestMachineIdentifier)
#include "tst_MachineIdentifier.moc"
