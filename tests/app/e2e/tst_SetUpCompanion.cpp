#include "core/BuildConfig.h"
#include "core/CoreConstants.h"
#include "platform/FileCredentialStore.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/StandInTool.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestMachine.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The companion as a real process (offscreen) on a machine that is set up,
// against the reference back-end and the stand-in product tool: what it says
// about itself and which releases it offers. (A sign-in link handed to the
// running program is taken through the wizard on the desktop, tst_WizardOnDesktop;
// ignoring one on a set-up machine is the tray shell's test.)
class TestSetUpCompanion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(appPath()), qPrintable(appPath()));
        QVERIFY(m_releases.isValid() && m_runtime.isValid());
        // The back-end announces a release of exactly the companion's own version.
        const QJsonObject latest { { u"version"_s, QString::fromLatin1(BuildConfig::version) },
            { u"url"_s,
                u"http://127.0.0.1:9/releases/files/Quorvane-%1.tar.gz"_s.arg(
                    QString::fromLatin1(BuildConfig::version)) },
            { u"sha256"_s, QString(64, u'0') }, { u"signature"_s, u"AAAA"_s } };
        QVERIFY(TestFiles::write(m_releases.filePath(u"latest.json"_s), QJsonDocument(latest).toJson()));
        m_backend = std::make_unique<BackendProcess>(QStringList { u"--releases"_s, m_releases.path() });
        QVERIFY2(m_backend->isRunning(), qPrintable(m_backend->lastError()));

        m_home = std::make_unique<TestHome>();
        m_tool = std::make_unique<StandInTool>();
        // The product tool is older than the companion.
        QVERIFY(m_tool->writeScenario({ { u"version"_s, QJsonObject { { u"text"_s, u"0.0.1"_s } } } }));
        qputenv("QUORVANE_API_BASE_URL", m_backend->url().toString().toUtf8());
        qputenv("QUORVANE_WEB_BASE_URL", m_backend->url().toString().toUtf8());
        qputenv("QUORVANE_CREDENTIAL_STORE", "file");
        FileCredentialStore store;
        m_machine = TestMachine::provision(*m_backend, store);
        QVERIFY(m_machine.has_value());
        // Set up as an approval device.
        QVERIFY(m_home->write(u".quorvane/machine/approver-only"_s, {}));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUORVANE_REPORT_PENDING"_s, u"1"_s);
        environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
        environment.insert(u"QUORVANE_CLI"_s, StandInTool::executablePath());
        m_app.setProcessEnvironment(environment);
        m_app.setProcessChannelMode(QProcess::MergedChannels);
        connect(&m_app, &QProcess::readyRead, this, [this] { m_output += m_app.readAll(); });
        m_app.start(appPath(), {});
        QVERIFY(m_app.waitForStarted());
        // Set up already: straight to the tray.
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_output.contains("Quorvane: pending count 0"), m_output.constData(), 15000);
    }

    void cleanupTestCase()
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            if (!m_app.waitForFinished(5000))
                m_app.kill();
        }
        qunsetenv("QUORVANE_API_BASE_URL");
        qunsetenv("QUORVANE_WEB_BASE_URL");
        qunsetenv("QUORVANE_CREDENTIAL_STORE");
    }

    void versionAndHelpNeedNoDisplay()
    {
        QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            bare.remove(QString::fromLatin1(name));
        const auto run = [&bare](const QString& option) {
            QProcess process;
            process.setProcessEnvironment(bare);
            process.start(appPath(), { option });
            const bool ended = process.waitForFinished(15000);
            return std::make_tuple(
                ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError()));
        };

        const auto [versionStatus, version, versionErrors] = run(u"--version"_s);
        QCOMPARE(versionStatus, 0);
        QCOMPARE(version, u"quorvane-app %1\n"_s.arg(QString::fromLatin1(BuildConfig::version)));
        QCOMPARE(versionErrors, QString());

        // Help lists what a person uses, and no test hook.
        const auto [helpStatus, help, helpErrors] = run(u"--help"_s);
        QCOMPARE(helpStatus, 0);
        for (const char* shown : { "--help", "--version", "url" })
            QVERIFY2(help.contains(QLatin1String(shown)), qPrintable(help));
        QVERIFY2(!help.contains(u"report-ready"_s), qPrintable(help));
        QCOMPARE(helpErrors, QString());
    }

    void releaseOfItsOwnVersionIsNotOffered()
    {
        // The check is measured against the companion's version, not the older tool's.
        const QString log = CoreConstants::updateCheckLogPath();
        QTRY_VERIFY_WITH_TIMEOUT(TestFiles::contentOf(log).contains("check: remote="), 15000);
        const QString own = QString::fromLatin1(BuildConfig::version);
        const QByteArray text = TestFiles::contentOf(log);
        QVERIFY2(text.contains(u"start: local version=%1\n"_s.arg(own).toUtf8()), text.constData());
        QVERIFY2(
            text.contains(u"check: remote=%1 local=%1 newer=false"_s.arg(own).toUtf8()), text.constData());
        QVERIFY(!text.contains("newer=true"));
    }

    // A sign-in link opened with a set-up companion, as the desktop's scheme handler does: ignored with one
    // line, nothing exchanged or registered, nothing on disk or in the credential store changed.
    void straySignInLinkChangesNothing()
    {
        const QMap<QString, QByteArray> before = snapshot();
        FileCredentialStore store;
        const auto keyItem = [&store, this] {
            return store.read(CoreConstants::keychainService(), m_machine->config.machineIdLocal,
                CoreConstants::keychainAccessGroup());
        };
        const auto keyBefore = keyItem();
        QVERIFY(keyBefore.has_value());
        const int exchangesBefore = requestsTo(u"/auth/exchange-code"_s);
        const int registrationsBefore = requestsTo(u"/machines/register"_s);
        const qsizetype outputBefore = m_output.size();

        QProcess second;
        second.setProcessEnvironment(m_app.processEnvironment());
        second.start(appPath(), { u"quorvane://auth/callback?code=someone-elses"_s });
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitCode(), 0);

        QTRY_VERIFY_WITH_TIMEOUT(
            m_output.mid(outputBefore).contains("Quorvane: ignored a sign-in link: no sign-in is waiting for one"),
            15000);
        const QByteArray after = m_output.mid(outputBefore);
        QCOMPARE(after.count("Quorvane: ignored"), 1);
        QVERIFY2(!after.contains("Quorvane: wizard screen"), after.constData());
        QCOMPARE(requestsTo(u"/auth/exchange-code"_s), exchangesBefore);
        QCOMPARE(requestsTo(u"/machines/register"_s), registrationsBefore);
        QCOMPARE(snapshot(), before);
        QCOMPARE(keyItem(), keyBefore);
        QCOMPARE(m_app.state(), QProcess::Running);
    }

private:
    static QString appPath() { return qEnvironmentVariable("QUORVANE_BUILD_DIR") + u"/bin/quorvane-app"_s; }
    // Every file under the home with a digest of its content (the update log grows on its own schedule).
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(m_home->path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.endsWith(u"update-check.log"_s))
                files.insert(QDir(m_home->path()).relativeFilePath(path),
                    QCryptographicHash::hash(TestFiles::contentOf(path), QCryptographicHash::Sha256));
        }
        return files;
    }
    int requestsTo(const QString& target)
    {
        int count = 0;
        for (const QJsonValue& value : m_backend->requests())
            count += value.toObject().value(u"target"_s).toString() == target ? 1 : 0;
        return count;
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<StandInTool> m_tool;
    QTemporaryDir m_releases;
    QTemporaryDir m_runtime;
    std::unique_ptr<BackendProcess> m_backend;
    std::optional<TestMachine> m_machine;
    QProcess m_app;
    QByteArray m_output;
};

QTEST_GUILESS_MAIN(TestSetUpCompanion)
#include "tst_SetUpCompanion.moc"
