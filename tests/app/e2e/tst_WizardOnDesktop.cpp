#include "tests/support/BackendProcess.h"
#include "tests/support/TestHome.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int processDeadlineMs = 10000;
constexpr int stepDeadlineMs = 20000;

} // namespace

// The real program on a virtual X server, not set up yet, against the
// reference back-end and the stand-in product tool, taken through the wizard
// only with the keyboard, as a person would: the default buttons on Enter,
// Tab to a switch and the space bar. The "browser" the sign-in opens follows
// the sign-in page's redirect and hands the callback to the program the way
// the desktop's scheme handler does.
class TestWizardOnDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void approvalDeviceFromWelcomeToDone();

private:
    QString run(const QString& program, const QStringList& arguments);
    bool keys(const QStringList& names);
    bool reachedScreen(int screen);

    QProcess m_xvfb;
    QProcess m_app;
    QByteArray m_output;
    QString m_windowId;
};

void TestWizardOnDesktop::initTestCase()
{
    for (const char* tool : {"Xvfb", "xdotool", "xdg-open", "curl"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));
    }
    const QString display = QStringLiteral(":%1").arg(500 + QRandomGenerator::global()->bounded(200));
    m_xvfb.start(QStringLiteral("Xvfb"), {display, QStringLiteral("-screen"), QStringLiteral("0"),
                                          QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY(m_xvfb.waitForStarted(processDeadlineMs));
    qputenv("DISPLAY", display.toUtf8());
    QTRY_VERIFY_WITH_TIMEOUT(!run(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")}).isEmpty(), 10000);
}

void TestWizardOnDesktop::cleanupTestCase()
{
    for (QProcess* process : {&m_app, &m_xvfb}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(processDeadlineMs))
            process->kill();
    }
}

QString TestWizardOnDesktop::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(processDeadlineMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Gives the wizard window the keyboard, then presses the keys one by one.
bool TestWizardOnDesktop::keys(const QStringList& names)
{
    run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_windowId});
    for (const QString& name : names) {
        QProcess key;
        key.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80"), name});
        if (!key.waitForFinished(processDeadlineMs) || key.exitCode() != 0)
            return false;
        QTest::qWait(150);
    }
    return true;
}

bool TestWizardOnDesktop::reachedScreen(int screen)
{
    const QByteArray line = "Quorvane: wizard screen " + QByteArray::number(screen);
    return QTest::qWaitFor([&] { return m_output.contains(line); }, stepDeadlineMs);
}

void TestWizardOnDesktop::approvalDeviceFromWelcomeToDone()
{
    const QString app = qEnvironmentVariable("QUORVANE_BUILD_DIR") + QStringLiteral("/bin/quorvane-app");
    QVERIFY2(QFile::exists(app), qPrintable(app));
    BackendProcess backend;
    QVERIFY2(backend.isRunning(), qPrintable(backend.lastError()));
    TestHome home;
    QTemporaryDir runtime;
    QTemporaryDir tools;

    // The browser: follows the sign-in page to its quorvane: callback and opens
    // that with the program, as the scheme handler would.
    const QString browser = tools.filePath(QStringLiteral("browser"));
    QFile script(browser);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n"
                 "callback=$(curl -s -o /dev/null -w '%{redirect_url}' \"$1\")\n"
                 "exec \"$QUORVANE_TEST_APP\" \"$callback\"\n");
    script.close();
    QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUORVANE_API_BASE_URL"), backend.url().toString());
    environment.insert(QStringLiteral("QUORVANE_WEB_BASE_URL"), backend.url().toString());
    environment.insert(QStringLiteral("QUORVANE_CREDENTIAL_STORE"), QStringLiteral("file"));
    environment.insert(QStringLiteral("QUORVANE_REPORT_PENDING"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QUORVANE_TEST_APP"), app);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
    environment.insert(QStringLiteral("BROWSER"), browser);
    environment.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_app.setProcessEnvironment(environment);
    m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_app, &QProcess::readyReadStandardOutput, this, [this] { m_output += m_app.readAllStandardOutput(); });
    m_app.start(app, {});
    QVERIFY(m_app.waitForStarted(processDeadlineMs));

    QTRY_VERIFY_WITH_TIMEOUT(!(m_windowId = run(QStringLiteral("xdotool"), {QStringLiteral("search"),
                                 QStringLiteral("--onlyvisible"), QStringLiteral("--name"), QStringLiteral("^Quorvane$")})
                                   .section(QLatin1Char('\n'), 0, 0))
                                  .isEmpty(),
                             stepDeadlineMs);
    QTest::qWait(500); // the first frame

    // Welcome: Enter is "Get Started →". Sign-in: Enter is "Sign in with
    // Google"; the browser comes back with the code and the install screen shows.
    QVERIFY(keys({QStringLiteral("Return")}));
    QVERIFY2(reachedScreen(1), m_output.constData());
    QVERIFY(keys({QStringLiteral("Return")}));
    QVERIFY2(reachedScreen(2), m_output.constData());

    // Install: Tab through the model and scan switches to "Approval Device
    // Only", space turns it on, Enter is "Install & Continue →".
    QTest::qWait(400);
    QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space"),
                  QStringLiteral("Return")}));
    QVERIFY2(reachedScreen(5), m_output.constData());

    // An approval device: registered with the account, the marker written, no agents.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.filePath(QStringLiteral(".quorvane/machine/approver-only"))), 5000);
    QVERIFY(QFile::exists(home.filePath(QStringLiteral(".quorvane/machine/machine.json"))));
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral(".quorvane/agents"))));
    bool registered = false;
    for (const QJsonValue& value : backend.requests()) {
        const QJsonObject request = value.toObject();
        registered = registered
                     || (request.value(QLatin1String("target")).toString() == QLatin1String("/machines/register")
                         && request.value(QLatin1String("status")).toInt() == 201);
    }
    QVERIFY(registered);

    // Done: Enter is "Close"; the wizard window goes and the program stays.
    QTest::qWait(400);
    QVERIFY(keys({QStringLiteral("Return")}));
    QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                              QStringLiteral("--name"), QStringLiteral("^Quorvane$")})
                                 .isEmpty(),
                             stepDeadlineMs);
    QCOMPARE(m_app.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestWizardOnDesktop)
#include "tst_WizardOnDesktop.moc"
