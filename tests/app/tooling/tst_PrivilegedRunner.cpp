#include "app/tooling/CLIService.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "tests/support/TestFiles.h"

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

    std::optional<QTemporaryDir> m_dir;

    QString writeStandIn(const QByteArray& behaviour) const
    {
        const QString path = m_dir->filePath(QStringLiteral("pkexec"));
        const QByteArray argv = QFile::encodeName(m_dir->filePath(QStringLiteral("argv")));
        const QByteArray body
            = "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + argv + "'; done\n" + behaviour + "\n";
        return TestFiles::writeShellScript(path, body) ? path : QString();
    }
    QStringList recordedArguments() const
    {
        QStringList arguments;
        const QList<QByteArray> parts
            = TestFiles::contentOf(m_dir->filePath(QStringLiteral("argv"))).split('\0');
        for (qsizetype i = 0; i + 1 < parts.size(); ++i)
            arguments.append(QString::fromUtf8(parts[i]));
        return arguments;
    }
    static QStringList shell(const QString& line)
    {
        return { QStringLiteral("/bin/sh"), QStringLiteral("-c"), line };
    }

private Q_SLOTS:
    void init() { m_dir.emplace(); }

    void shellWord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("word");
        QTest::newRow("plain") << QStringLiteral("/tmp/x") << QStringLiteral("'/tmp/x'");
        QTest::newRow("empty") << QString() << QStringLiteral("''");
        QTest::newRow("single quote") << QStringLiteral("/tmp/it's") << QStringLiteral("'/tmp/it'\\''s'");
        QTest::newRow("spaces and dollar")
            << QStringLiteral("/a b/$(rm -rf ~)") << QStringLiteral("'/a b/$(rm -rf ~)'");
        QTest::newRow("backtick, semicolon, glob") << QStringLiteral("`id`;*") << QStringLiteral("'`id`;*'");
        QTest::newRow("double quote, backslash, newline")
            << QStringLiteral("a\"b\\c\nd") << QStringLiteral("'a\"b\\c\nd'");
    }
    void shellWord()
    {
        QFETCH(QString, text);
        QFETCH(QString, word);
        QCOMPARE(PrivilegedRunner::shellWord(text), word);
        // The shell reads the word back as exactly one argument equal to the text.
        QProcess sh;
        sh.start(QStringLiteral("/bin/sh"),
            { QStringLiteral("-c"),
                QStringLiteral("printf '%s|' ") + word + QStringLiteral(" && printf '%s' $#"),
                QStringLiteral("sh") });
        QVERIFY(sh.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(sh.readAllStandardOutput()), text + QStringLiteral("|0"));
    }

    void pkexecOutcome_data()
    {
        QTest::addColumn<QByteArray>("behaviour");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QByteArray>("standardError");
        QTest::newRow("authorised") << QByteArray("exec \"$@\"") << 0 << QByteArray();
        QTest::newRow("dismissed") << QByteArray(
            "echo 'Error executing command as another user: Request dismissed' >&2\nexit 126")
                                   << 126
                                   << QByteArray(
                                          "Error executing command as another user: Request dismissed\n");
        QTest::newRow("not authorised") << QByteArray("exit 127") << 127 << QByteArray();
        QTest::newRow("killed") << QByteArray("kill -9 $$") << -1 << QByteArray();
    }
    void pkexecOutcome()
    {
        QFETCH(QByteArray, behaviour);
        QFETCH(int, exitStatus);
        QFETCH(QByteArray, standardError);
        PkexecPrivilegedRunner runner(writeStandIn(behaviour));
        const QString marker = m_dir->filePath(QStringLiteral("ran"));
        const QString line
            = QStringLiteral("touch ") + PrivilegedRunner::shellWord(marker) + QStringLiteral(" && echo out");
        const PrivilegedRunner::Outcome outcome = QCoro::waitFor(runner.run(line));
        QVERIFY(outcome.launched);
        QCOMPARE(outcome.succeeded(), exitStatus == 0);
        QCOMPARE(outcome.exitStatus, exitStatus);
        QCOMPARE(outcome.standardError, standardError);
        QCOMPARE(recordedArguments(), shell(line));
        QCOMPARE(QFile::exists(marker), exitStatus == 0);
    }

    void missingHelper()
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
        // An empty list succeeds without asking anyone.
        QVERIFY(QCoro::waitFor(service.runPrivileged({})).ok());

        // Without a runner there is nobody to ask.
        const CLIResult<void> refused
            = QCoro::waitFor(CLIService().runPrivileged({ QStringLiteral("true") }));
        QVERIFY(!refused);
        QVERIFY(refused.error().description().startsWith(QLatin1String("Admin setup failed: ")));
    }

    void runPrivileged_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QByteArray>("behaviour"); // the stand-in's, before it runs the line
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("failure"); // empty: success
        const QByteArray runs;
        const QString unknown = QStringLiteral("Admin setup failed: Unknown error");
        QTest::newRow("two joined") << QStringList { QStringLiteral("echo a"), QStringLiteral("echo b") }
                                    << runs << QStringLiteral("echo a && echo b") << QStringLiteral("a\nb\n")
                                    << QString();
        QTest::newRow("double quote and backslash reach the shell unchanged")
            << QStringList { QStringLiteral("printf '%s\\n' \"say \\\"hi\\\"\""),
                   QStringLiteral("printf '%s\\n' 'a\\b'") }
            << runs << QStringLiteral("printf '%s\\n' \"say \\\"hi\\\"\" && printf '%s\\n' 'a\\b'")
            << QStringLiteral("say \"hi\"\na\\b\n") << QString();
        QTest::newRow("a failing first command stops the rest")
            << QStringList { QStringLiteral("false"), QStringLiteral("echo never") } << runs
            << QStringLiteral("false && echo never") << QString() << unknown;
        const QStringList one { QStringLiteral("true") };
        const QString t = QStringLiteral("true");
        QTest::newRow("prompt dismissed")
            << one << QByteArray("printf 'Request dismissed\\n' >&2; exit 126") << t << QString()
            << QStringLiteral("Admin setup failed: Request dismissed\n");
        QTest::newRow("failing command")
            << one << QByteArray("printf 'cp: cannot stat x' >&2; exit 1") << t << QString()
            << QStringLiteral("Admin setup failed: cp: cannot stat x");
        QTest::newRow("undecodable text")
            << one << QByteArray("printf '\\377\\376' >&2; exit 1") << t << QString() << unknown;
    }
    void runPrivileged()
    {
        QFETCH(QStringList, commands);
        QFETCH(QByteArray, behaviour);
        QFETCH(QString, line);
        QFETCH(QString, output);
        QFETCH(QString, failure);
        // The stand-in runs the command for real, with its output collected in a file.
        const QString outFile = m_dir->filePath(QStringLiteral("out"));
        PkexecPrivilegedRunner runner(
            writeStandIn(behaviour + "\nexec \"$@\" > '" + QFile::encodeName(outFile) + "'"));
        const CLIResult<void> result = QCoro::waitFor(CLIService(&runner).runPrivileged(commands));
        QCOMPARE(recordedArguments(), shell(line));
        QCOMPARE(QString::fromUtf8(TestFiles::contentOf(outFile)), output);
        QCOMPARE(result.ok(), failure.isEmpty());
        if (!result.ok()) {
            QCOMPARE(result.error().kind(), CLIError::Kind::installFailed);
            QCOMPARE(result.error().description(), failure);
        }
    }
};

QTEST_GUILESS_MAIN(TestPrivilegedRunner)
#include "tst_PrivilegedRunner.moc"
