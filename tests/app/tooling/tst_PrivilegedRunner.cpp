#include "app/tooling/CLIService.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <qcorotask.h>

// pkexec itself only talks to the system bus, so these tests run a stand-in
// that records its arguments and then behaves as the case asks: run the
// command without privileges, exit 126 (prompt dismissed), 127 (not
// authorised), or fail with text on standard error.
class TestPrivilegedRunner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void shellWord_data();
    void shellWord();
    void pkexecOutcome_data();
    void pkexecOutcome();
    void missingHelper();
    void runPrivilegedCommandLine_data();
    void runPrivilegedCommandLine();
    void runPrivilegedFailures_data();
    void runPrivilegedFailures();

private:
    QString writeStandIn(const QByteArray& behaviour);
    QStringList recordedArguments() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPrivilegedRunner::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestPrivilegedRunner::writeStandIn(const QByteArray& behaviour)
{
    const QString path = m_dir->filePath(QStringLiteral("pkexec"));
    const QByteArray argv = QFile::encodeName(m_dir->filePath(QStringLiteral("argv")));
    const QByteArray body = ": > '" + argv
        + "'\n"
          "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '"
        + argv + "'; done\n" + behaviour + "\n";
    return TestFiles::writeShellScript(path, body) ? path : QString();
}

QStringList TestPrivilegedRunner::recordedArguments() const
{
    QFile file(m_dir->filePath(QStringLiteral("argv")));
    if (!file.open(QIODevice::ReadOnly))
        return { QStringLiteral("<not run>") };
    QStringList arguments;
    const QList<QByteArray> parts = file.readAll().split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        arguments.append(QString::fromUtf8(parts[i]));
    return arguments;
}

void TestPrivilegedRunner::shellWord_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("word");
    QTest::newRow("plain") << QStringLiteral("/tmp/x") << QStringLiteral("'/tmp/x'");
    QTest::newRow("empty") << QString() << QStringLiteral("''");
    QTest::newRow("single quote") << QStringLiteral("/tmp/it's") << QStringLiteral("'/tmp/it'\\''s'");
    QTest::newRow("two quotes") << QStringLiteral("''") << QStringLiteral("''\\'''\\'''");
    QTest::newRow("spaces and dollar")
        << QStringLiteral("/a b/$(rm -rf ~)") << QStringLiteral("'/a b/$(rm -rf ~)'");
    QTest::newRow("backtick, semicolon, glob") << QStringLiteral("`id`;*") << QStringLiteral("'`id`;*'");
    QTest::newRow("double quote and backslash") << QStringLiteral("a\"b\\c") << QStringLiteral("'a\"b\\c'");
    QTest::newRow("newline") << QStringLiteral("a\nb") << QStringLiteral("'a\nb'");
    QTest::newRow("unicode") << QStringLiteral("/tmp/café ✓") << QStringLiteral("'/tmp/café ✓'");
}

void TestPrivilegedRunner::shellWord()
{
    QFETCH(QString, text);
    QFETCH(QString, word);
    QCOMPARE(PrivilegedRunner::shellWord(text), word);

    // The shell reads the word back as exactly one argument equal to the text.
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
        { QStringLiteral("-c"), QStringLiteral("printf '%s|' ") + word + QStringLiteral(" && printf '%s' $#"),
            QStringLiteral("sh") });
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), text + QStringLiteral("|0"));
}

void TestPrivilegedRunner::pkexecOutcome_data()
{
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QByteArray>("standardError");

    QTest::newRow("authorised") << QByteArray("exec \"$@\"") << true << 0 << QByteArray();
    QTest::newRow("dismissed") << QByteArray(
        "echo 'Error executing command as another user: Request dismissed' >&2\n"
        "exit 126") << false << 126
                               << QByteArray("Error executing command as another user: Request dismissed\n");
    QTest::newRow("not authorised") << QByteArray("exit 127") << false << 127 << QByteArray();
    QTest::newRow("killed") << QByteArray("kill -9 $$") << false << -1 << QByteArray();
}

void TestPrivilegedRunner::pkexecOutcome()
{
    QFETCH(QByteArray, behaviour);
    QFETCH(bool, succeeded);
    QFETCH(int, exitStatus);
    QFETCH(QByteArray, standardError);

    PkexecPrivilegedRunner runner(writeStandIn(behaviour));
    const QString marker = m_dir->filePath(QStringLiteral("ran"));
    const QString line
        = QStringLiteral("touch ") + PrivilegedRunner::shellWord(marker) + QStringLiteral(" && echo out");
    const PrivilegedRunner::Outcome outcome = QCoro::waitFor(runner.run(line));
    QVERIFY(outcome.launched);
    QCOMPARE(outcome.succeeded(), succeeded);
    QCOMPARE(outcome.exitStatus, exitStatus);
    QCOMPARE(outcome.standardError, standardError);
    QCOMPARE(recordedArguments(), (QStringList { QStringLiteral("/bin/sh"), QStringLiteral("-c"), line }));
    QCOMPARE(QFile::exists(marker), succeeded);
}

void TestPrivilegedRunner::missingHelper()
{
    PkexecPrivilegedRunner runner(m_dir->filePath(QStringLiteral("no-pkexec")));
    const PrivilegedRunner::Outcome outcome = QCoro::waitFor(runner.run(QStringLiteral("true")));
    QVERIFY(!outcome.launched);
    QVERIFY(!outcome.succeeded());
    QVERIFY(!outcome.launchError.isEmpty());

    CLIService service(&runner);
    const CLIResult<void> result = QCoro::waitFor(service.runPrivileged({ QStringLiteral("true") }));
    QVERIFY(!result);
    QCOMPARE(result.error().kind(), CLIError::Kind::launchFailed);
}

void TestPrivilegedRunner::runPrivilegedCommandLine_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("output");

    QTest::newRow("one") << QStringList { QStringLiteral("echo one") } << QStringLiteral("echo one")
                         << QStringLiteral("one\n");
    QTest::newRow("two joined") << QStringList { QStringLiteral("echo a"), QStringLiteral("echo b") }
                                << QStringLiteral("echo a && echo b") << QStringLiteral("a\nb\n");
    QTest::newRow("double quote and backslash reach the shell unchanged")
        << QStringList { QStringLiteral("printf '%s\\n' \"say \\\"hi\\\"\""),
               QStringLiteral("printf '%s\\n' 'a\\b'") }
        << QStringLiteral("printf '%s\\n' \"say \\\"hi\\\"\" && printf '%s\\n' 'a\\b'")
        << QStringLiteral("say \"hi\"\na\\b\n");
    QTest::newRow("a failing first command stops the rest")
        << QStringList { QStringLiteral("false"), QStringLiteral("echo never") }
        << QStringLiteral("false && echo never") << QString();
}

void TestPrivilegedRunner::runPrivilegedCommandLine()
{
    QFETCH(QStringList, commands);
    QFETCH(QString, line);
    QFETCH(QString, output);

    // The stand-in runs the command for real, with its output collected in a file.
    const QString outFile = m_dir->filePath(QStringLiteral("out"));
    PkexecPrivilegedRunner runner(writeStandIn("exec \"$@\" > '" + QFile::encodeName(outFile) + "'"));
    CLIService service(&runner);
    const CLIResult<void> result = QCoro::waitFor(service.runPrivileged(commands));
    QCOMPARE(recordedArguments(), (QStringList { QStringLiteral("/bin/sh"), QStringLiteral("-c"), line }));
    QFile out(outFile);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(out.readAll()), output);
    QCOMPARE(result.ok(), !output.isEmpty());
    if (!result.ok())
        QCOMPARE(result.error().description(), QStringLiteral("Admin setup failed: Unknown error"));
}

void TestPrivilegedRunner::runPrivilegedFailures_data()
{
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<QString>("description");

    QTest::newRow("prompt dismissed") << QByteArray("printf 'Request dismissed\\n' >&2; exit 126")
                                      << QStringLiteral("Admin setup failed: Request dismissed\n");
    QTest::newRow("failing command") << QByteArray("printf 'cp: cannot stat x' >&2; exit 1")
                                     << QStringLiteral("Admin setup failed: cp: cannot stat x");
    QTest::newRow("undecodable text") << QByteArray("printf '\\377\\376' >&2; exit 1")
                                      << QStringLiteral("Admin setup failed: Unknown error");
    QTest::newRow("nothing on standard error")
        << QByteArray("exit 3") << QStringLiteral("Admin setup failed: Unknown error");
}

void TestPrivilegedRunner::runPrivilegedFailures()
{
    QFETCH(QByteArray, behaviour);
    QFETCH(QString, description);
    PkexecPrivilegedRunner runner(writeStandIn(behaviour));
    CLIService service(&runner);
    const CLIResult<void> result = QCoro::waitFor(service.runPrivileged({ QStringLiteral("true") }));
    QVERIFY(!result);
    QCOMPARE(result.error().kind(), CLIError::Kind::installFailed);
    QCOMPARE(result.error().description(), description);

    // An empty list succeeds without asking anyone.
    QFile::remove(m_dir->filePath(QStringLiteral("argv")));
    QVERIFY(QCoro::waitFor(service.runPrivileged({})).ok());
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("argv"))));

    // Without a runner there is nobody to ask.
    CLIService unprivileged;
    const CLIResult<void> refused = QCoro::waitFor(unprivileged.runPrivileged({ QStringLiteral("true") }));
    QVERIFY(!refused);
    QVERIFY(refused.error().description().startsWith(QLatin1String("Admin setup failed: ")));
}

QTEST_GUILESS_MAIN(TestPrivilegedRunner)
#include "tst_PrivilegedRunner.moc"
