#include "platform/XdgUrlSchemeRegistration.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

// What is planted where our desktop files live: a FIFO never blocks the
// program, and a symbolic link is never written through.
class TestDesktopFileSafety : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_home;

    QString applications() const { return m_home->filePath(QStringLiteral("applications")); }
    QString entryPath() const { return applications() + QStringLiteral("/quorvane.desktop"); }
    QString mimeAppsPath() const { return m_home->filePath(QStringLiteral("config/mimeapps.list")); }

    XdgUrlSchemeRegistration registration() const
    {
        return XdgUrlSchemeRegistration(
            applications(), mimeAppsPath(), QStringLiteral("/opt/quorvane/bin/quorvane-app"));
    }

    static bool isRegularFile(const QString& path)
    {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
    }

    // Runs call on a thread of its own; a call still blocked after the
    // deadline is released by a writer opening the FIFO, and the case fails.
    template <typename Call>
    static std::optional<decltype(std::declval<Call>()())> withDeadline(Call call, const QString& fifo)
    {
        auto result = std::async(std::launch::async, call);
        if (result.wait_for(20s) == std::future_status::ready)
            return result.get();
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        result.wait();
        return std::nullopt;
    }

private Q_SLOTS:
    void init()
    {
        m_home.emplace();
        QVERIFY(QDir().mkpath(applications()));
        QVERIFY(QDir().mkpath(QFileInfo(mimeAppsPath()).absolutePath()));
    }

    void cleanup() { m_home.reset(); }

    // A FIFO at mimeapps.list: the check and the registration answer at once,
    // the registration with an error.
    void fifoAtMimeAppsList()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(mimeAppsPath()).constData(), 0600), 0);
        const XdgUrlSchemeRegistration handler = registration();
        const std::optional<bool> registered
            = withDeadline([&] { return handler.isRegistered(); }, mimeAppsPath());
        QVERIFY2(registered, "the check blocked on the FIFO");
        QVERIFY(!*registered);
        XdgUrlSchemeRegistration writer = registration();
        const auto failure = withDeadline([&] { return writer.registerHandler(); }, mimeAppsPath());
        QVERIFY2(failure, "the registration blocked on the FIFO");
        QCOMPARE(*failure, QStringLiteral("%1 cannot be read or is too large.").arg(mimeAppsPath()));
    }

    // A FIFO at our desktop entry: not read; the registration puts our entry
    // in its place.
    void fifoAtDesktopEntry()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(entryPath()).constData(), 0600), 0);
        const XdgUrlSchemeRegistration handler = registration();
        const std::optional<bool> registered
            = withDeadline([&] { return handler.isRegistered(); }, entryPath());
        QVERIFY2(registered, "the check blocked on the FIFO");
        QVERIFY(!*registered);
        XdgUrlSchemeRegistration writer = registration();
        QCOMPARE(writer.registerHandler(), std::nullopt);
        QVERIFY(isRegularFile(entryPath()));
        QVERIFY(handler.isRegistered());
    }

    // A link at our desktop entry is replaced by the entry; the file it named
    // keeps its content. A linked mimeapps.list is refused, not written through.
    void linksAreNeverWrittenThrough()
    {
        const QString mine = m_home->filePath(QStringLiteral("dotfiles/my.desktop"));
        QVERIFY(TestFiles::write(mine, "[Desktop Entry]\nName=Mine\n"));
        QVERIFY(QFile::link(mine, entryPath()));
        XdgUrlSchemeRegistration handler = registration();
        QCOMPARE(handler.registerHandler(), std::nullopt);
        QCOMPARE(TestFiles::contentOf(mine), QByteArray("[Desktop Entry]\nName=Mine\n"));
        QVERIFY(isRegularFile(entryPath()));
        QVERIFY(TestFiles::contentOf(entryPath()).contains("x-scheme-handler/quorvane"));
        QCOMPARE(TestFiles::modeOf(entryPath()), 0644);

        const QString myList = m_home->filePath(QStringLiteral("dotfiles/mimeapps.list"));
        QVERIFY(TestFiles::write(myList, "[Default Applications]\ntext/plain=editor.desktop\n"));
        QVERIFY(QFile::remove(mimeAppsPath()));
        QVERIFY(QFile::link(myList, mimeAppsPath()));
        QVERIFY(handler.registerHandler().has_value());
        QCOMPARE(
            TestFiles::contentOf(myList), QByteArray("[Default Applications]\ntext/plain=editor.desktop\n"));
        QVERIFY(QFileInfo(mimeAppsPath()).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestDesktopFileSafety)
#include "tst_DesktopFileSafety.moc"
