#include "app/shell/PopoverWindow.h"
#include "tests/support/TestFiles.h"

#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestPopoverWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString path = m_dir.filePath(QStringLiteral("Root.qml"));
        QVERIFY(TestFiles::write(path,
            "import QtQuick\nRectangle { objectName: \"root\"; required property string greeting;"
            " implicitHeight: 420; color: \"black\" }\n"));
        m_root = QUrl::fromLocalFile(path);
    }

    void lazyCreationAndDestructionOnHide()
    {
        PopoverWindow popover(m_root, { { QStringLiteral("greeting"), QStringLiteral("hello") } });
        popover.setTrayAvailable([] { return true; });
        QSignalSpy shown(&popover, &PopoverHost::shownChanged);
        // Nothing of Qt Quick exists before the first show.
        QVERIFY(popover.window() == nullptr);

        popover.show(QRect(10, 0, 20, 20));
        QVERIFY(popover.isShown());
        QPointer<QQuickView> view = qobject_cast<QQuickView*>(popover.window());
        QVERIFY(view);
        QCOMPARE(view->size(), QSize(PopoverWindow::width, 420));
        QCOMPARE(view->rootObject()->property("greeting").toString(), QStringLiteral("hello"));
        popover.show(QRect()); // already shown: nothing new
        QCOMPARE(shown.size(), 1);

        popover.close();
        QVERIFY(!popover.isShown());
        QVERIFY(popover.window() == nullptr);
        QTRY_VERIFY(view.isNull()); // the window itself is gone, not just hidden
        QCOMPARE(shown.size(), 2);

        // Shown again: a fresh window with the same initial properties.
        popover.show(QRect());
        QCOMPARE(qobject_cast<QQuickView*>(popover.window())->rootObject()->property("greeting").toString(),
            QStringLiteral("hello"));
    }

    void placementAndFlags_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray at all") << false;
    }

    void placementAndFlags()
    {
        QFETCH(bool, tray);
        PopoverWindow popover(m_root, { { QStringLiteral("greeting"), QString() } });
        popover.setTrayAvailable([tray] { return tray; });
        popover.show(QRect(200, 0, 24, 24));
        QWindow* view = popover.window();
        QVERIFY(view);
        QCOMPARE(bool(view->flags() & Qt::FramelessWindowHint), tray);
        if (tray) {
            const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
            QVERIFY2(available.contains(view->geometry()), "placed outside the available area");
        }
        popover.close();
    }

    void focusLossCloses()
    {
        PopoverWindow popover(m_root, { { QStringLiteral("greeting"), QString() } });
        popover.setTrayAvailable([] { return true; });
        popover.show(QRect());
        QWindow* view = popover.window();
        QVERIFY(view);
        QTRY_VERIFY(view->isActive());

        QWindow other;
        other.resize(50, 50);
        other.show();
        other.requestActivate();
        QTRY_VERIFY(!popover.isShown());
        QVERIFY(popover.closedByFocusLossRecently());
        QTRY_VERIFY_WITH_TIMEOUT(!popover.closedByFocusLossRecently(), 2000); // only just after

        // An ordinary window (no tray) stays when the focus goes elsewhere.
        PopoverWindow window(m_root, { { QStringLiteral("greeting"), QString() } });
        window.setTrayAvailable([] { return false; });
        window.show(QRect());
        QTRY_VERIFY(window.window()->isActive());
        other.requestActivate();
        QTRY_VERIFY(other.isActive());
        QVERIFY(window.isShown());
        window.close();
    }

    void brokenRootDoesNotCrash()
    {
        PopoverWindow popover(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("Missing.qml"))), {});
        popover.setTrayAvailable([] { return true; });
        popover.show(QRect());
        QVERIFY(!popover.errorString().isEmpty());
        QVERIFY(popover.isShown());
        popover.close();
        QVERIFY(!popover.isShown());

        // Without the views library the tray keeps working: nothing is shown.
        PopoverWindow withoutViews(m_root, { { QStringLiteral("greeting"), QString() } });
        withoutViews.setViews([] { return nullptr; });
        QSignalSpy shown(&withoutViews, &PopoverHost::shownChanged);
        withoutViews.show(QRect());
        QVERIFY(!withoutViews.isShown());
        QVERIFY(withoutViews.window() == nullptr);
        QCOMPARE(shown.size(), 0);
    }

private:
    QTemporaryDir m_dir;
    QUrl m_root;
};

QTEST_MAIN(TestPopoverWindow)
#include "tst_PopoverWindow.moc"
