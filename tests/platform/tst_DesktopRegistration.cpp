#include "core/CoreConstants.h"
#include "platform/ApplicationInstallation.h"
#include "platform/DesktopEntryText.h"
#include "platform/MimeAppsList.h"
#include "platform/XdgAutostartLoginItem.h"
#include "platform/XdgDesktopRegistration.h"
#include "platform/XdgUrlSchemeRegistration.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using TestFiles::contentOf;

namespace {

const QByteArray handlerType = "x-scheme-handler/quorvane";

// Runs call on a thread of its own; a call still blocked on the FIFO after the
// deadline is released by a writer opening it, and nothing is returned.
template <typename Call>
std::optional<decltype(std::declval<Call>()())> withDeadline(Call call, const QString& fifo)
{
    auto result = std::async(std::launch::async, call);
    if (result.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
        return result.get();
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        ::close(writer);
    result.wait();
    return std::nullopt;
}

} // namespace

// The desktop entries we write (autostart and the quorvane: link handler), the
// default-application lists we edit, and the uninstall's clean-up of both and
// of the installation.
class TestDesktopRegistration : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_home;
    QString data() const { return m_home->filePath(u"data"_s); }
    QString config() const { return m_home->filePath(u"config"_s); }
    QString mimeApps() const { return config() + u"/mimeapps.list"_s; }
    XdgUrlSchemeRegistration handler(const QString& program = u"/opt/quorvane/bin/quorvane-app"_s) const
    {
        return XdgUrlSchemeRegistration(data() + u"/applications"_s, mimeApps(), program);
    }

private Q_SLOTS:
    void init()
    {
        m_home.emplace();
        QVERIFY(QDir().mkpath(data() + u"/applications"_s) && QDir().mkpath(config()));
    }

    // A path is quoted only when it holds a character the Desktop Entry format
    // reserves: launchers that split Exec on spaces themselves (xdg-open on a
    // desktop it does not know) run a quoted word as it stands.
    void execArgument_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("argument"); // empty: refused
        QTest::newRow("plain") << u"/home/a/.local/opt/q-1.2_x+y=z/bin/app"_s
                               << u"/home/a/.local/opt/q-1.2_x+y=z/bin/app"_s;
        QTest::newRow("percent, unquoted") << u"/opt/100%/app"_s << u"/opt/100%%/app"_s;
        QTest::newRow("space") << u"/opt/my apps/app"_s << u"\"/opt/my apps/app\""_s;
        QTest::newRow("dollar") << u"/opt/a$b/q"_s << u"\"/opt/a\\\\$b/q\""_s;
        QTest::newRow("backslash") << u"/opt/a\\b/q"_s << u"\"/opt/a\\\\\\\\b/q\""_s;
        QTest::newRow("double quote") << u"/opt/a\"b/q"_s << u"\"/opt/a\\\\\"b/q\""_s;
        for (const char* reserved : { "'", ">", "<", "~", "|", "&", ";", "*", "?", "#", "(", ")", "`" }) {
            const QString escaped
                = QLatin1String(reserved) == "`"_L1 ? u"\\\\`"_s : QString::fromLatin1(reserved);
            QTest::addRow("reserved %s", reserved)
                << u"/opt/x"_s + QLatin1String(reserved) + u"y/q"_s << u"\"/opt/x"_s + escaped + u"y/q\""_s;
        }
        QTest::newRow("line break") << u"/opt/a\nExec=evil"_s << QString();
        QTest::newRow("relative") << u"bin/app"_s << QString();
    }

    // The argument goes into both entries; a refused path writes neither.
    void execArgument()
    {
        QFETCH(QString, path);
        QFETCH(QString, argument);
        XdgAutostartLoginItem login(config() + u"/autostart"_s, path);
        XdgUrlSchemeRegistration scheme = handler(path);
        if (argument.isEmpty()) {
            QVERIFY(!path.startsWith(u'/')
                || !DesktopEntryText::execArgument(path)); // relative: refused by the entries
            QVERIFY(login.registerItem().has_value() && scheme.registerHandler().has_value());
            QVERIFY(!QFile::exists(login.entryPath()) && !QFile::exists(scheme.entryPath()));
            QVERIFY(!QFile::exists(mimeApps()));
            return;
        }
        QCOMPARE(DesktopEntryText::execArgument(path).value_or(QString()), argument);
        QCOMPARE(login.registerItem(), std::nullopt);
        QVERIFY(QString::fromUtf8(contentOf(login.entryPath())).contains(u"\nExec="_s + argument + u'\n'));
        QCOMPARE(scheme.registerHandler(), std::nullopt);
        QVERIFY(
            QString::fromUtf8(contentOf(scheme.entryPath())).contains(u"\nExec="_s + argument + u" %u\n"_s));
    }

    void autostartEntry()
    {
        XdgAutostartLoginItem item(config() + u"/autostart"_s, u"/opt/quorvane/bin/quorvane-app"_s);
        QVERIFY(!item.isRegistered());
        QCOMPARE(item.unregisterItem(), std::nullopt);
        QCOMPARE(item.registerItem(), std::nullopt);
        QCOMPARE(item.registerItem(), std::nullopt); // again: replaced, not failed
        QVERIFY(item.isRegistered());
        QCOMPARE(item.entryPath(), config() + u"/autostart/quorvane.desktop"_s);
        const QByteArray text = contentOf(item.entryPath());
        QVERIFY(text.startsWith("[Desktop Entry]\n") && text.contains("\nType=Application\n"));
        QCOMPARE(item.unregisterItem(), std::nullopt);
        QVERIFY(!item.isRegistered() && !QFile::exists(item.entryPath()));

        // The folder's place is taken by a file: described, not thrown.
        QVERIFY(TestFiles::write(config() + u"/blocked"_s, {}));
        QVERIFY(
            XdgAutostartLoginItem(config() + u"/blocked"_s, u"/usr/bin/app"_s).registerItem().has_value());

        const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "/tmp/cfg-home");
        QCOMPARE(XdgAutostartLoginItem::defaultAutostartDirectory(), u"/tmp/cfg-home/autostart"_s);
        qputenv("XDG_CONFIG_HOME", "relative/cfg");
        QCOMPARE(XdgAutostartLoginItem::defaultAutostartDirectory(),
            CoreConstants::homeDirectory() + u"/.config/autostart"_s);
        qputenv("XDG_CONFIG_HOME", previous);
    }

    void defaultApplicationEdits()
    {
        const QByteArray mine = "# mine\n[Added Associations]\ntext/plain=gedit.desktop;\n\n"
                                "[Default Applications]\ntext/html=firefox.desktop;\n"
                                "x-scheme-handler/quorvane=old.desktop;other.desktop;\n\n"
                                "[Removed Associations]\nimage/png=quorvane.desktop;\n";
        QCOMPARE(MimeAppsList::defaultFor(mine, handlerType), u"old.desktop"_s);
        QCOMPARE(MimeAppsList::defaultFor(mine, "text/plain"), std::nullopt); // added, not a default
        const auto replaced = MimeAppsList::withDefault(mine, handlerType, u"quorvane.desktop"_s);
        QCOMPARE(replaced,
            QByteArray(mine).replace("quorvane=old.desktop;other.desktop;", "quorvane=quorvane.desktop;"));
        QCOMPARE(MimeAppsList::withDefault(*replaced, "x-scheme-handler/other", u"o.desktop"_s),
            QByteArray(*replaced).replace("quorvane=quorvane.desktop;\n",
                "quorvane=quorvane.desktop;\nx-scheme-handler/other=o.desktop;\n"));
        // No group yet: it is made; a last line without a break keeps its line.
        QCOMPARE(
            MimeAppsList::withDefault("[Added Associations]\na/b=c.desktop;", handlerType, u"q.desktop"_s),
            "[Added Associations]\na/b=c.desktop;\n\n[Default Applications]\nx-scheme-handler/quorvane=q.desktop;\n"_ba);
        QCOMPARE(MimeAppsList::withDefault(
                     QByteArray(MimeAppsList::maximumSize + 1, '#'), handlerType, u"q.desktop"_s),
            std::nullopt);
    }

    void withoutAssociations_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("removed");
        // Ours goes from a list shared with others (checked through the clean-up
        // below); a removal the person made is theirs; other types and programs stay.
        QTest::newRow("ours") << "[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop\n"_ba
                              << "[Default Applications]\n"_ba << 1;
        for (const QByteArray& kept : {
                 "[Removed Associations]\nx-scheme-handler/quorvane=quorvane.desktop;\n"_ba,
                 "[Default Applications]\nx-scheme-handler/quorvane-tools=quorvane.desktop\n"_ba,
                 "[Default Applications]\nx-scheme-handler/quorvane=quorvane-tools.desktop\n"_ba,
                 "x-scheme-handler/quorvane=quorvane.desktop\n"_ba,
                 QByteArray("\0\xff[\n=;;=\n", 9),
                 QByteArray("[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop\n"
                     + QByteArray(MimeAppsList::maximumSize, '#')),
             })
            QTest::addRow("kept %d", int(kept.size())) << kept << kept << 0;
    }

    void withoutAssociations()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QFETCH(int, removed);
        const auto isOurs = [](const QString& entry) { return entry == "quorvane.desktop"_L1; };
        const MimeAppsList::Edit edit = MimeAppsList::withoutAssociations(text, handlerType, isOurs);
        QCOMPARE(edit.text, expected);
        QCOMPARE(edit.removed, removed);
    }

    // Another build takes the entry over; the uninstall takes away exactly
    // what was written.
    void handlerRegistrationAndItsRemoval()
    {
        const QByteArray theirs
            = "[Default Applications]\ntext/html=firefox.desktop;\nx-old/type=caf\xe9.desktop;\n";
        QVERIFY(TestFiles::write(mimeApps(), theirs));
        XdgUrlSchemeRegistration first = handler();
        QVERIFY(!first.isRegistered());
        QCOMPARE(first.registerHandler(), std::nullopt);
        QVERIFY(first.isRegistered());
        XdgUrlSchemeRegistration moved = handler(u"/opt/other/bin/quorvane-app"_s);
        QVERIFY(!moved.isRegistered());
        QCOMPARE(moved.registerHandler(), std::nullopt);
        QVERIFY(moved.isRegistered() && !first.isRegistered());

        // Other programs' entries and associations stay, with ours in their lists.
        const QString applications = data() + u"/applications/"_s;
        const QByteArray entry("[Desktop Entry]\nType=Application\nMimeType=x-scheme-handler/quorvane;\n");
        for (const QString& name :
            { u"quorvane.dev.desktop"_s, u"quorvane-tools.desktop"_s, u"editor.desktop"_s })
            QVERIFY(TestFiles::write(applications + name, entry));
        QVERIFY(TestFiles::write(applications + u"mimeapps.list"_s,
            "[Added Associations]\nx-scheme-handler/quorvane=quorvane.dev.desktop;editor.desktop;\n"));
        XdgDesktopRegistration registration(data(), config());
        QCOMPARE(registration.clearRegistrations(), 4); // two entries, one association in each list
        QCOMPARE(QDir(applications).entryList(QDir::Files),
            (QStringList { u"editor.desktop"_s, u"mimeapps.list"_s, u"quorvane-tools.desktop"_s }));
        QCOMPARE(contentOf(mimeApps()), theirs);
        QCOMPARE(contentOf(applications + u"mimeapps.list"_s),
            "[Added Associations]\nx-scheme-handler/quorvane=editor.desktop;\n"_ba);
        QCOMPARE(registration.clearRegistrations(), 0);
        const QString none = m_home->filePath(u"none"_s);
        QCOMPARE(XdgDesktopRegistration(none, none).clearRegistrations(), 0);
    }

    // Debian's xdg-open on a desktop it does not know (generic mode) runs the
    // handler with the link.
    void xdgOpenRunsTheHandler()
    {
        if (QStandardPaths::findExecutable(u"xdg-open"_s).isEmpty())
            QSKIP("xdg-open is not installed");
        const QString received = m_home->filePath(u"received"_s);
        const QString program = m_home->filePath(u"opt/quorvane/bin/quorvane-app"_s);
        QVERIFY(TestFiles::writeShellScript(
            program, "printf '%s\\n' \"$@\" > '" + QFile::encodeName(received) + "'\n"));
        QCOMPARE(handler(program).registerHandler(), std::nullopt);
        // A desktop xdg-open does not know, with our folders only.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : { u"XDG_CURRENT_DESKTOP"_s, u"DESKTOP_SESSION"_s, u"KDE_FULL_SESSION"_s,
                 u"GNOME_DESKTOP_SESSION_ID"_s, u"BROWSER"_s })
            environment.remove(name);
        environment.insert(u"XDG_DATA_HOME"_s, data());
        environment.insert(u"XDG_CONFIG_HOME"_s, config());
        environment.insert(u"XDG_DATA_DIRS"_s, m_home->filePath(u"none"_s));
        environment.insert(u"XDG_CONFIG_DIRS"_s, m_home->filePath(u"none"_s));
        // xdg-open looks for a scheme handler only when there is a display.
        environment.insert(u"DISPLAY"_s, u":0"_s);
        QProcess open;
        open.setProcessEnvironment(environment);
        open.start(u"xdg-open"_s, { u"quorvane://auth/callback?code=abc"_s });
        QVERIFY(open.waitForFinished(30000));
        QVERIFY2(open.exitCode() == 0, open.readAllStandardError().constData());
        QTRY_COMPARE(contentOf(received), "quorvane://auth/callback?code=abc\n"_ba);
    }

    // A FIFO planted where our files live never blocks the program.
    void fifosAreNeverWaitedOn_data()
    {
        QTest::addColumn<bool>("atEntry");
        QTest::newRow("at mimeapps.list") << false;
        QTest::newRow("at our entry") << true;
    }

    void fifosAreNeverWaitedOn()
    {
        QFETCH(bool, atEntry);
        XdgUrlSchemeRegistration scheme = handler();
        const QString fifo = atEntry ? scheme.entryPath() : mimeApps();
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const std::optional<bool> registered = withDeadline([&] { return scheme.isRegistered(); }, fifo);
        QVERIFY2(registered, "the check blocked on the FIFO");
        QVERIFY(!*registered);
        const auto failure = withDeadline([&] { return scheme.registerHandler(); }, fifo);
        QVERIFY2(failure, "the registration blocked on the FIFO");
        if (atEntry) { // replaced by our entry
            QCOMPARE(*failure, std::nullopt);
            QVERIFY(scheme.isRegistered());
        } else {
            QCOMPARE(*failure, u"%1 cannot be read or is too large."_s.arg(mimeApps()));
        }
    }

    // A link at our entry is replaced, the file it named kept; a linked
    // mimeapps.list is refused, not written through.
    void linksAreNeverWrittenThrough()
    {
        const QString mine = m_home->filePath(u"dotfiles/my.desktop"_s);
        QVERIFY(TestFiles::write(mine, "[Desktop Entry]\nName=Mine\n"));
        XdgUrlSchemeRegistration scheme = handler();
        QVERIFY(QFile::link(mine, scheme.entryPath()));
        QCOMPARE(scheme.registerHandler(), std::nullopt);
        QCOMPARE(contentOf(mine), "[Desktop Entry]\nName=Mine\n"_ba);
        QVERIFY(!QFileInfo(scheme.entryPath()).isSymLink());
        QCOMPARE(TestFiles::modeOf(scheme.entryPath()), 0644);

        const QString myList = m_home->filePath(u"dotfiles/mimeapps.list"_s);
        QVERIFY(TestFiles::write(myList, "[Default Applications]\ntext/plain=editor.desktop\n"));
        QVERIFY(QFile::remove(mimeApps()) && QFile::link(myList, mimeApps()));
        QVERIFY(scheme.registerHandler().has_value());
        QCOMPARE(contentOf(myList), "[Default Applications]\ntext/plain=editor.desktop\n"_ba);
    }

    // Which installations may go to the trash on uninstalling: only one of its
    // own inside the home folder (the uninstall test trashes one).
    void installationKinds()
    {
        const QString shared = m_home->filePath(u".local"_s);
        QVERIFY(TestFiles::write(shared + u"/bin/quorvane-app"_s, "#!/bin/sh\n", 0700));
        QVERIFY(TestFiles::write(shared + u"/bin/editor"_s, "#!/bin/sh\n", 0700)); // not ours alone

        const ApplicationInstallation sharedPrefix(shared, m_home->path());
        QVERIFY(!sharedPrefix.isUserLocal() && !sharedPrefix.isSystemWide());
        QVERIFY(sharedPrefix.removalAdvice().contains(u"by hand"_s));
        QCOMPARE(sharedPrefix.moveToTrash(), sharedPrefix.removalAdvice());
        QVERIFY(QFileInfo::exists(shared + u"/bin/editor"_s));

        const ApplicationInstallation system(u"/usr"_s, m_home->path());
        QVERIFY(system.isSystemWide() && !system.isUserLocal()
            && system.removalAdvice().contains(u"package manager"_s));
        // The home folder itself, or a folder beside it sharing its name's beginning, is not inside it.
        QVERIFY(ApplicationInstallation(m_home->path(), m_home->path()).isSystemWide());
        QVERIFY(ApplicationInstallation(m_home->path() + u"-other"_s, m_home->path()).isSystemWide());
    }
};

QTEST_GUILESS_MAIN(TestDesktopRegistration)
#include "tst_DesktopRegistration.moc"
