#include "platform/MimeAppsList.h"
#include "platform/XdgDesktopRegistration.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestXdgDesktopRegistration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutAssociations_data();
    void withoutAssociations();
    void clearsOurEntriesAndAssociationsOnly();
};

namespace {

bool isOurs(const QString& entry)
{
    return entry == QLatin1String("quorvane.desktop");
}

using TestFiles::write;
using TestFiles::contentOf;

} // namespace

void TestXdgDesktopRegistration::withoutAssociations_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("removed");

    QTest::newRow("only ours") << QByteArray("[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop\n")
                               << QByteArray("[Default Applications]\n") << 1;
    QTest::newRow("shared key keeps the others")
        << QByteArray("[Added Associations]\nx-scheme-handler/quorvane=other.desktop;quorvane.desktop;\n")
        << QByteArray("[Added Associations]\nx-scheme-handler/quorvane=other.desktop;\n") << 1;
    QTest::newRow("both groups")
        << QByteArray("[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop\ntext/plain=editor.desktop\n"
                      "\n[Added Associations]\nx-scheme-handler/quorvane=quorvane.desktop;\n")
        << QByteArray("[Default Applications]\ntext/plain=editor.desktop\n\n[Added Associations]\n") << 2;
    // A removal the person made is theirs; other types and other programs stay.
    QTest::newRow("removed associations stay")
        << QByteArray("[Removed Associations]\nx-scheme-handler/quorvane=quorvane.desktop;\n")
        << QByteArray("[Removed Associations]\nx-scheme-handler/quorvane=quorvane.desktop;\n") << 0;
    QTest::newRow("another scheme")
        << QByteArray("[Default Applications]\nx-scheme-handler/quorvane-tools=quorvane.desktop\n")
        << QByteArray("[Default Applications]\nx-scheme-handler/quorvane-tools=quorvane.desktop\n") << 0;
    QTest::newRow("someone else's handler")
        << QByteArray("[Default Applications]\nx-scheme-handler/quorvane=quorvane-tools.desktop\n")
        << QByteArray("[Default Applications]\nx-scheme-handler/quorvane=quorvane-tools.desktop\n") << 0;
    QTest::newRow("outside any group") << QByteArray("x-scheme-handler/quorvane=quorvane.desktop\n")
                                       << QByteArray("x-scheme-handler/quorvane=quorvane.desktop\n") << 0;
    QTest::newRow("empty") << QByteArray() << QByteArray() << 0;
    QTest::newRow("binary junk") << QByteArray("\0\xff[\n=;;=\n", 9) << QByteArray("\0\xff[\n=;;=\n", 9) << 0;
    const QByteArray huge = "[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop\n"
        + QByteArray(MimeAppsList::maximumSize, '#');
    QTest::newRow("too large is left alone") << huge << huge << 0;
}

void TestXdgDesktopRegistration::withoutAssociations()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QFETCH(int, removed);
    const MimeAppsList::Edit edit
        = MimeAppsList::withoutAssociations(text, QByteArrayLiteral("x-scheme-handler/quorvane"), &isOurs);
    QCOMPARE(edit.text, expected);
    QCOMPARE(edit.removed, removed);
}

void TestXdgDesktopRegistration::clearsOurEntriesAndAssociationsOnly()
{
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString config = dir.filePath(QStringLiteral("config"));
    const QString applications = data + QStringLiteral("/applications/");
    const QByteArray entry("[Desktop Entry]\nType=Application\nMimeType=x-scheme-handler/quorvane;\n");
    QVERIFY(write(applications + QStringLiteral("quorvane.desktop"), entry));
    QVERIFY(write(applications + QStringLiteral("quorvane.dev.desktop"), entry));
    QVERIFY(write(applications + QStringLiteral("quorvane-tools.desktop"), entry));
    QVERIFY(write(applications + QStringLiteral("editor.desktop"), entry));
    const QByteArray configList("[Default Applications]\nx-scheme-handler/quorvane=quorvane.desktop\n"
                                "text/plain=editor.desktop\n");
    QVERIFY(write(config + QStringLiteral("/mimeapps.list"), configList));
    QVERIFY(write(applications + QStringLiteral("mimeapps.list"),
                  "[Added Associations]\nx-scheme-handler/quorvane=quorvane.dev.desktop;editor.desktop;\n"));

    XdgDesktopRegistration registration(data, config);
    // Two entries, one association in each list.
    QCOMPARE(registration.clearRegistrations(), 4);
    QVERIFY(!QFile::exists(applications + QStringLiteral("quorvane.desktop")));
    QVERIFY(!QFile::exists(applications + QStringLiteral("quorvane.dev.desktop")));
    QCOMPARE(contentOf(applications + QStringLiteral("quorvane-tools.desktop")), entry);
    QCOMPARE(contentOf(applications + QStringLiteral("editor.desktop")), entry);
    QCOMPARE(contentOf(config + QStringLiteral("/mimeapps.list")),
             QByteArray("[Default Applications]\ntext/plain=editor.desktop\n"));
    QCOMPARE(contentOf(applications + QStringLiteral("mimeapps.list")),
             QByteArray("[Added Associations]\nx-scheme-handler/quorvane=editor.desktop;\n"));

    // Nothing left: nothing counted, nothing written.
    QCOMPARE(registration.clearRegistrations(), 0);
    // Folders that do not exist are no registrations.
    XdgDesktopRegistration nowhere(dir.filePath(QStringLiteral("none")), dir.filePath(QStringLiteral("none")));
    QCOMPARE(nowhere.clearRegistrations(), 0);

    QVERIFY(XdgDesktopRegistration::isOurDesktopId(QStringLiteral("quorvane")));
    QVERIFY(XdgDesktopRegistration::isOurDesktopId(QStringLiteral("quorvane.dev")));
    QVERIFY(!XdgDesktopRegistration::isOurDesktopId(QStringLiteral("quorvanex")));
    QVERIFY(!XdgDesktopRegistration::isOurDesktopId(QStringLiteral("quorvane-tools")));
}

QTEST_GUILESS_MAIN(TestXdgDesktopRegistration)
#include "tst_XdgDesktopRegistration.moc"
