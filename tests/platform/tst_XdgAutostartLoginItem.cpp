#include "core/CoreConstants.h"
#include "platform/XdgAutostartLoginItem.h"

#include <QFile>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestXdgAutostartLoginItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registersAndUnregistersAnEntryThatStartsTheProgram()
    {
        QTemporaryDir config;
        const QString autostart = config.path() + QStringLiteral("/autostart");
        // Quotes, dollars, backslashes and percents are taken literally by the
        // desktop's launcher, not expanded.
        const QString program = config.path() + QStringLiteral("/odd \"dir\" $HOME \\ 100%/quorvane-app");
        XdgAutostartLoginItem item(autostart, program);

        QVERIFY(!item.isRegistered());
        QCOMPARE(item.unregisterItem(), std::nullopt);
        QCOMPARE(item.registerItem(), std::nullopt);
        QVERIFY(item.isRegistered());
        QCOMPARE(item.entryPath(), autostart + QStringLiteral("/quorvane.desktop"));

        QFile entry(item.entryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(text.contains(QStringLiteral("\nType=Application\n")));
        QVERIFY(text.contains(QStringLiteral("\nExec=\"") + config.path()
                              + QStringLiteral("/odd \\\\\"dir\\\\\" \\\\$HOME \\\\\\\\ 100%%/quorvane-app\"\n")));

        // Registering again replaces the entry instead of failing.
        QCOMPARE(item.registerItem(), std::nullopt);
        QCOMPARE(item.unregisterItem(), std::nullopt);
        QVERIFY(!item.isRegistered());
        QVERIFY(!QFile::exists(item.entryPath()));
    }

    void failuresAreDescribedNotThrown()
    {
        QTemporaryDir config;
        QCOMPARE(XdgAutostartLoginItem(config.path(), QStringLiteral("relative/app")).registerItem().has_value(), true);
        QCOMPARE(XdgAutostartLoginItem(config.path(), QStringLiteral("/opt/a\nX-Evil=1")).registerItem().has_value(),
                 true);
        QVERIFY(!QFile::exists(config.path() + QStringLiteral("/quorvane.desktop")));

        // The autostart folder's place is taken by a file: the folder cannot be made.
        QFile blocker(config.path() + QStringLiteral("/autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const std::optional<QString> error
            = XdgAutostartLoginItem(blocker.fileName(), QStringLiteral("/usr/bin/quorvane-app")).registerItem();
        QVERIFY(error.has_value());
        QVERIFY(!error->isEmpty());
    }

    void defaultFolderFollowsTheConfigHome()
    {
        const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "/tmp/cfg-home");
        QCOMPARE(XdgAutostartLoginItem::defaultAutostartDirectory(), QStringLiteral("/tmp/cfg-home/autostart"));
        qputenv("XDG_CONFIG_HOME", "relative/cfg");
        QCOMPARE(XdgAutostartLoginItem::defaultAutostartDirectory(),
                 CoreConstants::homeDirectory() + QStringLiteral("/.config/autostart"));
        qputenv("XDG_CONFIG_HOME", previous);
    }
};

QTEST_GUILESS_MAIN(TestXdgAutostartLoginItem)
#include "tst_XdgAutostartLoginItem.moc"
