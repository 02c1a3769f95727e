#pragma once

#include "app/receipts/ReceiptHistoryModel.h"
#include "app/shell/PopoverWindow.h"
#include "app/shell/ShellWindows.h"
#include "app/wizard/WizardState.h"
#include "tests/app/dashboard/HomeStateFixture.h"
#include "tests/app/panel/PanelFixture.h"
#include "tests/support/QmlTestSupport.h"

#include <QQuickWindow>
#include <QTest>
#include <memory>

// The program's own windows, made as the shell makes them (through the views
// library), for the tests that walk through them.
namespace ProgramWindows {

// The shown item of that name in the window, popups included.
inline QQuickItem* shown(QWindow* window, const QString& name)
{
    auto* quick = qobject_cast<QQuickWindow*>(window);
    const QList<QQuickItem*> found
        = quick ? QmlItems::visible(quick->contentItem(), name) : QList<QQuickItem*>();
    return found.isEmpty() ? nullptr : found.first();
}

// The popover as the tray opens it, over the panel with the two waiting
// actions "first" and "second"; its window once both rows show, else nullptr.
inline QWindow* showPopover(PanelFixture& f, std::unique_ptr<PopoverWindow>& popover)
{
    if (!f.addIds({ u"first"_s, u"second"_s }))
        return nullptr;
    popover = std::make_unique<PopoverWindow>(
        ApprovalsPanel::viewUrl(), QVariantMap { { u"panel"_s, QVariant::fromValue(f.panel.get()) } });
    popover->setTrayAvailable([] { return true; });
    QObject::connect(popover.get(), &PopoverHost::shownChanged, f.panel.get(), &ApprovalsPanel::setShown);
    popover->show(QRect(400, 0, 24, 24));
    QWindow* window = popover->window();
    if (!window || !QTest::qWaitForWindowExposed(window))
        return nullptr;
    const bool rows = QTest::qWaitFor([&] {
        return QmlItems::visible(qobject_cast<QQuickWindow*>(window)->contentItem(), u"pendingRow"_s).size()
            == 2;
    });
    return rows ? window : nullptr;
}

// The dashboard window over a home with a decision history.
struct Dashboard
{
    HomeStateFixture f;
    ReceiptLog receipts { f.home.filePath(u"receipts.jsonl"_s) };
    ReceiptHistoryModel history { receipts };
    HomeState home { f.cli, f.dependencies, f.auth, f.network, f.settings, &f.wizard, &history };
    WizardState wizard;
    ShellWindows windows { wizard, &home };

    // Its window once on screen, else nullptr.
    QWindow* show()
    {
        windows.showDashboard();
        QWindow* window = windows.dashboardWindow();
        return window && QTest::qWaitForWindowExposed(window) ? window : nullptr;
    }
};

} // namespace ProgramWindows
