#include "app/dashboard/Uninstall.h"
#include "app/tooling/ModelRuntimeServer.h"
#include "tests/app/dashboard/HomeStateFixture.h"

#include <QDirIterator>

// What the uninstall must not leave running or lying around: the model
// runtime's user unit (enabled, so it would start at every log-in) and the
// product tool wherever it was found. systemctl and dpkg are stand-ins that
// record their calls and act on the test home as the real ones would.
class TestUninstallLeftovers : public HomeStateTestCase
{
    Q_OBJECT

    // Every entry under root whose name mentions quorvane, links included.
    static QStringList namedQuorvane(const QString& root)
    {
        QStringList found;
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (it.fileName().contains(QLatin1String("quorvane"), Qt::CaseInsensitive))
                found << QDir(root).relativeFilePath(path);
        }
        return found;
    }

    static QStringList linesOf(const QString& path)
    {
        return QString::fromUtf8(TestFiles::contentOf(path)).split(u'\n', Qt::SkipEmptyParts);
    }

    // The whole uninstall with these stand-ins; its report.
    static QStringList uninstall(
        Fixture& f, const QString& cliPath, ModelRuntimeServer& server, const QString& dpkg)
    {
        HomeState::Platform platform;
        platform.cliBinaryPath = cliPath;
        platform.runtimeServer = &server;
        platform.dpkg = dpkg;
        platform.terminate = [] {};
        f.state->setPlatform(platform);
        f.state->uninstall(false);
        if (!QTest::qWaitFor([&f] { return f.state->uninstallComplete(); }, 60'000))
            return { QStringLiteral("<the uninstall did not complete>") };
        return f.state->uninstallReport();
    }

private Q_SLOTS:
    void enabledRuntimeUnitAndLocalCliAreGone()
    {
        Fixture f;
        QVERIFY(f.machine);
        const QString units = f.home.filePath(QStringLiteral(".config/systemd/user"));
        ModelRuntimeServer server(&f.network);
        server.setUnitDirectory(units);
        QVERIFY(TestFiles::write(
            server.unitPath(), server.unitText(QStringLiteral("/usr/local/bin/ollama")).toUtf8()));
        QVERIFY(QDir().mkpath(units + QStringLiteral("/default.target.wants")));
        QVERIFY(QFile::link(server.unitPath(), server.enabledLinkPath()));
        // systemctl --user disable drops the enabled link, as the user manager does.
        const QString calls = f.dir.filePath(QStringLiteral("systemctl-calls"));
        const QString systemctl = f.dir.filePath(QStringLiteral("systemctl"));
        QVERIFY(TestFiles::writeShellScript(systemctl,
            "echo \"$*\" >> '" + QFile::encodeName(calls)
                + "'\n"
                  "[ \"$2\" = disable ] && rm -f '"
                + QFile::encodeName(server.enabledLinkPath()) + "'\nexit 0\n"));
        server.setSystemctl(systemctl);
        // The tool installed for this account only; dpkg knows no package for it.
        QVERIFY(
            TestFiles::write(f.home.filePath(QStringLiteral(".local/bin/quorvane")), "#!/bin/sh\n", 0755));
        QVERIFY(
            TestFiles::write(f.home.filePath(QStringLiteral(".local/bin/other-tool")), "#!/bin/sh\n", 0755));
        const QString dpkg = f.dir.filePath(QStringLiteral("dpkg"));
        QVERIFY(TestFiles::writeShellScript(
            dpkg, "echo \"dpkg-query: no path found matching pattern $2\" >&2\nexit 1\n"));
        QVERIFY(!namedQuorvane(f.home.path()).isEmpty());

        const QStringList report = uninstall(f, {}, server, dpkg);
        QVERIFY2(report.contains(
                     QStringLiteral("Stopped and removed the local model service (quorvane-ollama.service)")),
            qPrintable(report.join(u'\n')));
        QVERIFY2(report.contains(QStringLiteral("Removed CLI binary")), qPrintable(report.join(u'\n')));
        QCOMPARE(linesOf(calls),
            (QStringList { QStringLiteral("--user disable --now quorvane-ollama.service"),
                QStringLiteral("--user daemon-reload") }));
        // No unit, no enabled link, nothing of ours; the rest stays.
        QCOMPARE(namedQuorvane(f.home.path()), QStringList());
        QVERIFY(QFileInfo::exists(f.home.filePath(QStringLiteral(".local/bin/other-tool"))));
    }

    void packagedCliIsLeftToThePackageManager()
    {
        Fixture f(false);
        const QString cli = f.dir.filePath(QStringLiteral("usr/bin/quorvane"));
        QVERIFY(TestFiles::write(cli, "#!/bin/sh\n", 0755));
        const QString dpkg = f.dir.filePath(QStringLiteral("dpkg"));
        QVERIFY(TestFiles::writeShellScript(dpkg, "[ \"$1\" = -S ] || exit 2\necho \"quorvane-cli: $2\"\n"));
        // Without a user manager and with no unit, systemctl is not asked.
        ModelRuntimeServer server(&f.network);
        server.setUnitDirectory(f.home.filePath(QStringLiteral(".config/systemd/user")));
        const QString calls = f.dir.filePath(QStringLiteral("systemctl-calls"));
        const QString systemctl = f.dir.filePath(QStringLiteral("systemctl"));
        QVERIFY(TestFiles::writeShellScript(
            systemctl, "echo \"$*\" >> '" + QFile::encodeName(calls) + "'\nexit 1\n"));
        server.setSystemctl(systemctl);

        const QStringList report = uninstall(f, cli, server, dpkg);
        QVERIFY2(report.contains(Uninstall::packagedCliLine(cli, QStringLiteral("quorvane-cli"))),
            qPrintable(report.join(u'\n')));
        QCOMPARE(Uninstall::packagedCliLine(cli, QStringLiteral("quorvane-cli")),
            QStringLiteral("The CLI at %1 belongs to the package quorvane-cli: remove it with "
                           "\"sudo apt remove quorvane-cli\"")
                .arg(cli));
        QVERIFY(QFileInfo::exists(cli));
        QVERIFY(!report.join(u'\n').contains(QLatin1String("local model service")));
        QVERIFY(!QFileInfo::exists(calls));
    }
};

QTEST_GUILESS_MAIN(TestUninstallLeftovers)
#include "tst_UninstallLeftovers.moc"
