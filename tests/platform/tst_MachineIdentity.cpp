#include "platform/CredentialStoreFactory.h"
#include "platform/FileCredentialStore.h"
#include "platform/MachineIdentifier.h"
#include "platform/ProcessHardening.h"
#include "platform/SecretServiceCredentialStore.h"
#include "platform/TerminationSignalNotifier.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

// Where the machine's identity comes from and lives: the identifier derived from
// /etc/machine-id, the file store's private file and the Secret Service of the
// session bus (a private gnome-keyring under scripts/with-test-session; every test
// uses service names of its own and removes its items again); and the process
// holding the key: no core dumps, no memory readable by the user's other
// processes, termination signals on the event loop.
class TestMachineIdentity : public QObject
{
    Q_OBJECT

    SecretServiceCredentialStore m_store;
    QString m_service;
    QString m_otherService;
    const QString m_group = u"TEAMID0001.org.quorvane-test"_s;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(
            !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"), "run inside scripts/with-test-session");
    }

    void init()
    {
        const QString suffix = QString::number(QRandomGenerator::global()->generate64(), 36);
        m_service = u"org.quorvane-test-"_s + suffix + u".machine"_s;
        m_otherService = u"org.quorvane-other-"_s + suffix + u".machine"_s;
    }

    void cleanup()
    {
        m_store.removeAll(m_service, m_group);
        m_store.removeAll(m_otherService, m_group);
    }

    void keyringRoundTripsAndReplaces()
    {
        LogCapture log;
        const QString account = u"5A1B2C3D-0000-4000-8000-00000000ABCD"_s;
        QVERIFY(!m_store.read(m_service, account, m_group));

        QCOMPARE(m_store.add(m_service, account, m_group, "first"), 0);
        QCOMPARE(m_store.read(m_service, account, m_group), std::optional<QByteArray>("first"));
        // Another access group or account is another item.
        QVERIFY(!m_store.read(m_service, account, u"OTHERTEAM1.org.other"_s));
        QVERIFY(!m_store.read(m_service, account + QLatin1Char('x'), m_group));

        // Adding again deletes the old item first: one item, the new secret.
        QCOMPARE(m_store.add(m_service, account, m_group, "second"), 0);
        QCOMPARE(m_store.read(m_service, account, m_group), std::optional<QByteArray>("second"));

        // Removing it leaves nothing behind (no older duplicate resurfaces).
        QCOMPARE(m_store.add(m_service, u"B"_s, m_group, "b"), 0);
        QCOMPARE(m_store.add(m_otherService, account, m_group, "other"), 0);
        m_store.remove(m_service, account, m_group);
        QVERIFY(!m_store.read(m_service, account, m_group));
        QCOMPARE(m_store.read(m_service, u"B"_s, m_group), std::optional<QByteArray>("b"));
        // Removing all of one service leaves the other service's.
        m_store.removeAll(m_service, m_group);
        QVERIFY(!m_store.read(m_service, u"B"_s, m_group));
        QCOMPARE(m_store.read(m_otherService, account, m_group), std::optional<QByteArray>("other"));
        QVERIFY(log.lines().isEmpty());
    }

    // The command-line tool finds the key with the documented attributes alone.
    void anotherProgramReadsTheItemByItsAttributes()
    {
        const QByteArray secret("nWGxne_9WmC6hEr0kuwsxERJxWl7MmkZcDusAxyuf2DXWpgBgrEKt9VL_tPJZAc6");
        QCOMPARE(m_store.add(m_service, u"CLI-ACCOUNT"_s, m_group, secret), 0);
        QProcess tool;
        tool.start(u"secret-tool"_s,
            { u"lookup"_s, u"service"_s, m_service, u"account"_s, u"CLI-ACCOUNT"_s, u"access-group"_s,
                m_group });
        if (!tool.waitForStarted())
            QSKIP("secret-tool is not installed");
        QVERIFY(tool.waitForFinished());
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(tool.readAllStandardOutput().trimmed(), secret);
    }
    void roundTripsInAPrivateFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"nested/credentials.json"_s);
        FileCredentialStore store(path);
        QVERIFY(!store.read(m_service, u"A"_s, m_group));
        const mode_t previousMask = ::umask(0);
        const int status = store.add(m_service, u"A"_s, m_group, QByteArray("secret-a\x00\xff", 10));
        ::umask(previousMask);
        QCOMPARE(status, 0);
        QCOMPARE(TestFiles::modeOf(path), 0600);
        QCOMPARE(TestFiles::modeOf(dir.filePath(u"nested"_s)), 0700);
        QCOMPARE(store.read(m_service, u"A"_s, m_group), QByteArray("secret-a\x00\xff", 10));

        // Add replaces; other accounts, groups and services are separate items.
        QCOMPARE(store.add(m_service, u"A"_s, m_group, "replaced"), 0);
        QCOMPARE(store.add(m_service, u"B"_s, m_group, "b"), 0);
        QCOMPARE(store.add(m_service, u"A"_s, u"OTHER.group"_s, "g"), 0);
        QCOMPARE(store.add(u"org.other.machine"_s, u"A"_s, m_group, "o"), 0);
        QCOMPARE(store.read(m_service, u"A"_s, m_group), QByteArray("replaced"));
        store.remove(m_service, u"B"_s, m_group);
        QVERIFY(!store.read(m_service, u"B"_s, m_group));
        QCOMPARE(store.add(m_service, u"B"_s, m_group, "b"), 0);
        store.removeAll(m_service, m_group);
        QVERIFY(!store.read(m_service, u"A"_s, m_group) && !store.read(m_service, u"B"_s, m_group));
        QCOMPARE(store.read(m_service, u"A"_s, u"OTHER.group"_s), QByteArray("g"));
        QCOMPARE(store.read(u"org.other.machine"_s, u"A"_s, m_group), QByteArray("o"));
        // No temporary files stay behind.
        QCOMPARE(QDir(dir.filePath(u"nested"_s)).entryList(QDir::Files | QDir::Hidden),
            QStringList { u"credentials.json"_s });
    }

    void refusesFilesThatAreNotPrivate_data()
    {
        QTest::addColumn<QString>("reason"); // the row's name says what is planted
        QTest::newRow("0644") << u"its permissions 0644 are wider than 0600"_s;
        QTest::newRow("0700") << u"its permissions 0700 are wider than 0600"_s;
        QTest::newRow("symlink") << u"it is a symbolic link"_s;
        QTest::newRow("directory") << u"it is not a regular file"_s;
        QTest::newRow("fifo") << u"it is not a regular file"_s;
        QTest::newRow("not JSON") << u"it is not a credential file"_s;
        QTest::newRow("wrong shape") << u"it is not a credential file"_s;
        QTest::newRow("too large") << u"it is larger than %1 bytes"_s.arg(
            FileCredentialStore::maximumFileSize);
    }
    void refusesFilesThatAreNotPrivate()
    {
        const QByteArray kind = QTest::currentDataTag();
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"credentials.json"_s);
        const QString target = dir.filePath(u"elsewhere.json"_s);

        // A file with one item, written by a well-behaved store.
        FileCredentialStore good(kind == "symlink" ? target : path);
        QCOMPARE(good.add(m_service, u"A"_s, m_group, "secret"), 0);
        const QByteArray original = TestFiles::contentOf(kind == "symlink" ? target : path);

        if (kind == "0644" || kind == "0700") {
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(kind.toInt(nullptr, 8))), 0);
        } else if (kind == "symlink") {
            QVERIFY(QFile::link(target, path));
        } else if (kind == "directory") {
            QVERIFY(QFile::remove(path));
            QVERIFY(QDir().mkdir(path));
        } else if (kind == "fifo") {
            QVERIFY(QFile::remove(path));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == "not JSON") {
            QVERIFY(TestFiles::write(path, "{\"items\":[{\"serv", 0600));
        } else if (kind == "wrong shape") {
            QVERIFY(TestFiles::write(path, "[]", 0600));
        } else if (kind == "too large") {
            QVERIFY(TestFiles::write(
                path, original + QByteArray(FileCredentialStore::maximumFileSize, ' '), 0600));
        }
        const QByteArray before = QFileInfo(path).isFile() ? TestFiles::contentOf(path) : QByteArray();
        const int modeBefore = TestFiles::modeOf(path);

        LogCapture log;
        FileCredentialStore store(path);
        QVERIFY(!store.read(m_service, u"A"_s, m_group));
        QVERIFY(store.add(m_service, u"B"_s, m_group, "new") != 0);
        store.remove(m_service, u"A"_s, m_group);
        store.removeAll(m_service, m_group);
        const QString line = u"Quorvane: FileCredentialStore — refusing %1: %2"_s.arg(path, reason);
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
        QCOMPARE(file->path(), home.path() + u"/.quorvane/credentials.json"_s);
        QCOMPARE(log.lines(),
            QStringList { u"Quorvane: using the file credential store at %1"_s.arg(file->path()) });
    }

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
        QTest::newRow("too short") << "3d1219c7c4c5404aaa1f6d2a48adfda\n"_ba;
        QTest::newRow("not hex") << "3d1219c7c4c5404aaa1f6d2a48adfdzz\n"_ba;
        QTest::newRow("all zero") << "00000000000000000000000000000000\n"_ba;
        QTest::newRow("dashed") << "3d1219c7-c4c5-404a-aa1f-6d2a48adfda4\n"_ba;
        QTest::newRow("two lines") << "3d1219c7c4c5404aaa1f6d2a48adfda4\n\n"_ba;
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

    void coreDumpsAreDisabled()
    {
        QVERIFY(ProcessHardening::isDumpable());
        QVERIFY(ProcessHardening::disableCoreDumps());
        QVERIFY(!ProcessHardening::isDumpable());
        // The kernel now shows the process's own files as root's.
        QCOMPARE(QFileInfo(u"/proc/self/mem"_s).ownerId(), 0u);
    }

    void terminationSignalsArriveOnTheEventLoop()
    {
        {
            TerminationSignalNotifier notifier;
            QVERIFY(notifier.isActive());
            // A second one stays inactive rather than taking the handlers from the first.
            TerminationSignalNotifier second;
            QVERIFY(!second.isActive());
            QSignalSpy requested(&notifier, &TerminationSignalNotifier::terminationRequested);
            // Without the notifier these would end the test program.
            const int sent[] = { SIGTERM, SIGHUP, SIGINT };
            for (const int signal : sent)
                ::raise(signal);
            QTRY_COMPARE(requested.size(), 3);
            for (int i = 0; i < 3; ++i)
                QCOMPARE(requested.at(i).at(0).toInt(), sent[i]);
        }
        // Gone: the default actions are back, and a new notifier can take over.
        struct sigaction current = {};
        ::sigaction(SIGTERM, nullptr, &current);
        QVERIFY(current.sa_handler == SIG_DFL);
        TerminationSignalNotifier again;
        QVERIFY(again.isActive());
    }
};

QTEST_GUILESS_MAIN(TestMachineIdentity)
#include "tst_MachineIdentity.moc"
