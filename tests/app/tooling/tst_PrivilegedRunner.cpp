#include "app/tooling/CLIService.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "tests/support/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <qcorotask.h>

using namespace Qt::StringLiterals;

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
        const QString path = m_dir->filePath(u"pkexec"_s);
        const QByteArray argv = QFile::encodeName(m_dir->filePath(u"argv"_s));
        const QByteArray body
            = "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + argv + "'; done\n" + behaviour + "\n";
        return TestFiles::writeShellScript(path, body) ? path : QString();
    }
    QStringList recordedArguments() const
    {
        QStringList arguments;
        const QList<QByteArray> parts = TestFiles::contentOf(m_dir->filePath(u"argv"_s)).split('\0');
        for (qsizetype i = 0; i + 1 < parts.size(); ++i)
            arguments.append(QString::fromUtf8(parts[i]));
        return arguments;
    }
    static QStringList shell(const QString& line) { return { u"/bin/sh"_s, u"-c"_s, line }; }

private Q_SLOTS:
    void init() { m_dir.emplace(); }

    void shellWord_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("word");
        QTest::newRow("plain") << u"/tmp/x"_s << u"'/tmp/x'"_s;
        QTest::newRow("empty") << QString() << u"''"_s;
        QTest::newRow("single quote") << u"/tmp/it's"_s << u"'/tmp/it'\\''s'"_s;
        QTest::newRow("spaces and dollar") << u"/a b/$(rm -rf ~)"_s << u"'/a b/$(rm -rf ~)'"_s;
        QTest::newRow("backtick, semicolon, glob") << u"`id`;*"_s << u"'`id`;*'"_s;
        QTest::newRow("double quote, backslash, newline") << u"a\"b\\c\nd"_s << u"'a\"b\\c\nd'"_s;
    }
    void shellWord()
    {
        QFETCH(QString, text);
        QFETCH(QString, word);
        QCOMPARE(PrivilegedRunner::shellWord(text), word);
        // The shell reads the word back as exactly one argument equal to the text.
        QProcess sh;
        sh.start(u"/bin/sh"_s, { u"-c"_s, u"printf '%s|' "_s + word + u" && printf '%s' $#"_s, u"sh"_s });
        QVERIFY(sh.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(sh.readAllStandardOutput()), text + u"|0"_s);
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
        const QString marker = m_dir->filePath(u"ran"_s);
        const QString line = u"touch "_s + PrivilegedRunner::shellWord(marker) + u" && echo out"_s;
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
        PkexecPrivilegedRunner runner(m_dir->filePath(u"no-pkexec"_s));
        const PrivilegedRunner::Outcome outcome = QCoro::waitFor(runner.run(u"true"_s));
        QVERIFY(!outcome.launched);
        QVERIFY(!outcome.succeeded());
        QVERIFY(!outcome.launchError.isEmpty());
        CLIService service(&runner);
        const CLIResult<void> result = QCoro::waitFor(service.runPrivileged({ u"true"_s }));
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), CLIError::Kind::launchFailed);
        // An empty list succeeds without asking anyone.
        QVERIFY(QCoro::waitFor(service.runPrivileged({})).ok());

        // Without a runner there is nobody to ask.
        const CLIResult<void> refused = QCoro::waitFor(CLIService().runPrivileged({ u"true"_s }));
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
        const QString unknown = u"Admin setup failed: Unknown error"_s;
        QTest::newRow("two joined") << QStringList { u"echo a"_s, u"echo b"_s } << runs
                                    << u"echo a && echo b"_s << u"a\nb\n"_s << QString();
        QTest::newRow("double quote and backslash reach the shell unchanged")
            << QStringList { u"printf '%s\\n' \"say \\\"hi\\\"\""_s, u"printf '%s\\n' 'a\\b'"_s } << runs
            << u"printf '%s\\n' \"say \\\"hi\\\"\" && printf '%s\\n' 'a\\b'"_s << u"say \"hi\"\na\\b\n"_s
            << QString();
        QTest::newRow("a failing first command stops the rest")
            << QStringList { u"false"_s, u"echo never"_s } << runs << u"false && echo never"_s << QString()
            << unknown;
        const QStringList one { u"true"_s };
        const QString t = u"true"_s;
        QTest::newRow("prompt dismissed") << one << QByteArray("printf 'Request dismissed\\n' >&2; exit 126")
                                          << t << QString() << u"Admin setup failed: Request dismissed\n"_s;
        QTest::newRow("failing command") << one << QByteArray("printf 'cp: cannot stat x' >&2; exit 1") << t
                                         << QString() << u"Admin setup failed: cp: cannot stat x"_s;
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
        const QString outFile = m_dir->filePath(u"out"_s);
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
