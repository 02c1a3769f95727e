#include "platform/CredentialStoreFactory.h"
#include "platform/FileCredentialStore.h"
#include "platform/SecretServiceCredentialStore.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString service = QStringLiteral("com.quorvane.machine");
const QString group = QStringLiteral("QRV7A2K9X4.com.quorvane");

} // namespace

class TestFileCredentialStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripsInAPrivateFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nested/credentials.json"));
        FileCredentialStore store(path);
        QVERIFY(!store.read(service, QStringLiteral("A"), group));
        const mode_t previousMask = ::umask(0);
        const int status = store.add(service, QStringLiteral("A"), group, QByteArray("secret-a\x00\xff", 10));
        ::umask(previousMask);
        QCOMPARE(status, 0);
        QCOMPARE(TestFiles::modeOf(path), 0600);
        QCOMPARE(TestFiles::modeOf(dir.filePath(QStringLiteral("nested"))), 0700);
        QCOMPARE(store.read(service, QStringLiteral("A"), group), QByteArray("secret-a\x00\xff", 10));

        // Add replaces; other accounts, groups and services are separate items.
        QCOMPARE(store.add(service, QStringLiteral("A"), group, "replaced"), 0);
        QCOMPARE(store.add(service, QStringLiteral("B"), group, "b"), 0);
        QCOMPARE(store.add(service, QStringLiteral("A"), QStringLiteral("OTHER.group"), "g"), 0);
        QCOMPARE(store.add(QStringLiteral("org.other.machine"), QStringLiteral("A"), group, "o"), 0);
        QCOMPARE(store.read(service, QStringLiteral("A"), group), QByteArray("replaced"));
        store.remove(service, QStringLiteral("B"), group);
        QVERIFY(!store.read(service, QStringLiteral("B"), group));
        QCOMPARE(store.add(service, QStringLiteral("B"), group, "b"), 0);
        store.removeAll(service, group);
        QVERIFY(!store.read(service, QStringLiteral("A"), group)
            && !store.read(service, QStringLiteral("B"), group));
        QCOMPARE(store.read(service, QStringLiteral("A"), QStringLiteral("OTHER.group")), QByteArray("g"));
        QCOMPARE(
            store.read(QStringLiteral("org.other.machine"), QStringLiteral("A"), group), QByteArray("o"));
        // No temporary files stay behind.
        QCOMPARE(QDir(dir.filePath(QStringLiteral("nested"))).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("credentials.json") });
    }

    void refusesFilesThatAreNotPrivate_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("0644") << QByteArray("0644")
                              << QStringLiteral("its permissions 0644 are wider than 0600");
        QTest::newRow("0640") << QByteArray("0640")
                              << QStringLiteral("its permissions 0640 are wider than 0600");
        QTest::newRow("0700") << QByteArray("0700")
                              << QStringLiteral("its permissions 0700 are wider than 0600");
        QTest::newRow("symlink") << QByteArray("symlink") << QStringLiteral("it is a symbolic link");
        QTest::newRow("directory") << QByteArray("directory") << QStringLiteral("it is not a regular file");
        QTest::newRow("fifo") << QByteArray("fifo") << QStringLiteral("it is not a regular file");
        QTest::newRow("not JSON") << QByteArray("garbage") << QStringLiteral("it is not a credential file");
        QTest::newRow("wrong shape") << QByteArray("array") << QStringLiteral("it is not a credential file");
        QTest::newRow("too large") << QByteArray(
            "huge") << QStringLiteral("it is larger than %1 bytes").arg(FileCredentialStore::maximumFileSize);
    }
    void refusesFilesThatAreNotPrivate()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("credentials.json"));
        const QString target = dir.filePath(QStringLiteral("elsewhere.json"));

        // A file with one item, written by a well-behaved store.
        FileCredentialStore good(kind == "symlink" ? target : path);
        QCOMPARE(good.add(service, QStringLiteral("A"), group, "secret"), 0);
        const QByteArray original = TestFiles::contentOf(kind == "symlink" ? target : path);

        if (kind == "0644" || kind == "0640" || kind == "0700") {
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(kind.toInt(nullptr, 8))), 0);
        } else if (kind == "symlink") {
            QVERIFY(QFile::link(target, path));
        } else if (kind == "directory") {
            QVERIFY(QFile::remove(path));
            QVERIFY(QDir().mkdir(path));
        } else if (kind == "fifo") {
            QVERIFY(QFile::remove(path));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == "garbage") {
            QVERIFY(TestFiles::write(path, "{\"items\":[{\"serv", 0600));
        } else if (kind == "array") {
            QVERIFY(TestFiles::write(path, "[]", 0600));
        } else if (kind == "huge") {
            QVERIFY(TestFiles::write(
                path, original + QByteArray(FileCredentialStore::maximumFileSize, ' '), 0600));
        }
        const QByteArray before = QFileInfo(path).isFile() ? TestFiles::contentOf(path) : QByteArray();
        const int modeBefore = TestFiles::modeOf(path);

        LogCapture log;
        FileCredentialStore store(path);
        QVERIFY(!store.read(service, QStringLiteral("A"), group));
        QVERIFY(store.add(service, QStringLiteral("B"), group, "new") != 0);
        store.remove(service, QStringLiteral("A"), group);
        store.removeAll(service, group);
        const QString line
            = QStringLiteral("Quorvane: FileCredentialStore — refusing %1: %2").arg(path, reason);
        QCOMPARE(log.lines().value(0), line);
        QCOMPARE(log.lines().count(line), log.lines().size());

        // Nothing was changed: not the file, not its mode, not a symlink's target.
        QCOMPARE(TestFiles::modeOf(path), modeBefore);
        if (QFileInfo(path).isFile() && !QFileInfo(path).isSymLink())
            QCOMPARE(TestFiles::contentOf(path), before);
        if (kind == "symlink")
            QCOMPARE(TestFiles::contentOf(target), original);
    }

    void factoryChoosesTheFileStoreOnlyWhenAsked()
    {
        TestHome home;
        qunsetenv("QUORVANE_CREDENTIAL_STORE");
        QVERIFY(dynamic_cast<SecretServiceCredentialStore*>(CredentialStoreFactory::create().get()));
        qputenv("QUORVANE_CREDENTIAL_STORE", "file");
        LogCapture log;
        const auto store = CredentialStoreFactory::create();
        qunsetenv("QUORVANE_CREDENTIAL_STORE");
        auto* file = dynamic_cast<FileCredentialStore*>(store.get());
        QVERIFY(file);
        QCOMPARE(file->path(), home.path() + QStringLiteral("/.quorvane/credentials.json"));
        QCOMPARE(log.lines(),
            QStringList {
                QStringLiteral("Quorvane: using the file credential store at %1").arg(file->path()) });
    }
};

QTEST_GUILESS_MAIN(TestFileCredentialStore)
#include "tst_FileCredentialStore.moc"
