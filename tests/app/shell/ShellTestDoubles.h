#pragma once

#include "app/shell/PopoverHost.h"
#include "app/shell/QuitGuard.h"
#include "app/shell/ShellWindows.h"
#include "app/shell/StatusItem.h"
#include "app/shell/TrayShell.h"
#include "app/wizard/WizardState.h"
#include "core/ApprovalSyncService.h"
#include "core/MachineAuthService.h"
#include "core/UpdateCheckService.h"
#include "tests/core/MemoryCredentialStore.h"
#include "tests/support/DashboardHome.h"
#include "tests/support/RecordingNotifier.h"
#include "tests/support/TestHome.h"

#include <QList>
#include <QNetworkAccessManager>
#include <utility>

// A status item that records what it was told.
class RecordingStatusItem : public StatusItem
{
    Q_OBJECT

public:
    void setIcon(const StatusItemIcon& icon) override { icons.append(icon); }
    void setMenu(const QList<MenuEntry>& entries) override { menus.append(entries); }
    void setColorScheme(ColorSchemePreference::Scheme scheme) override { schemes.append(scheme); }
    QRect geometry() const override { return QRect(100, 0, 24, 24); }
    bool isInTray() const override { return inTray; }

    bool inTray = true;
    QList<StatusItemIcon> icons;
    QList<QList<MenuEntry>> menus;
    QList<ColorSchemePreference::Scheme> schemes;
};

// A popover that only tracks whether it is shown and where it was asked to open.
class RecordingPopover : public PopoverHost
{
    Q_OBJECT

public:
    bool isShown() const override { return shown; }
    void show(const QRect& trayGeometry) override
    {
        shown = true;
        ++showCount;
        lastTrayGeometry = trayGeometry;
        Q_EMIT shownChanged(true);
    }
    void close() override
    {
        if (std::exchange(shown, false))
            Q_EMIT shownChanged(false);
    }
    bool closedByFocusLossRecently() const override { return focusLossJustBefore; }

    bool shown = false;
    bool focusLossJustBefore = false;
    int showCount = 0;
    QRect lastTrayGeometry;
};

// A quit question that keeps the answer callback so the test can answer it.
class ScriptedQuitPrompt : public QuitPrompt
{
public:
    bool ask(Answer answer) override
    {
        ++asked;
        if (pending)
            return false;
        pending = std::move(answer);
        return true;
    }
    void answer(Choice choice)
    {
        if (const Answer callback = std::exchange(pending, {}))
            callback(choice);
    }

    int asked = 0;
    Answer pending;
};

// One tray shell with real services (no machine identity, so nothing reaches the
// network) and recording doubles for the tray, the popover and the question.
struct TrayShellFixture
{
    explicit TrayShellFixture(bool setUp, bool inTray = true)
    {
        if (setUp)
            home.write(QStringLiteral(".quorvane/machine/approver-only"), {});
        trayShell = std::make_unique<TrayShell>(
            TrayShell::Services { auth, sync, updates, windows, notifier },
            [this, inTray]() -> std::unique_ptr<StatusItem> {
                ++itemsMade;
                auto item = std::make_unique<RecordingStatusItem>();
                item->inTray = inTray;
                this->item = item.get();
                return item;
            },
            popover, prompt);
        trayShell->setTerminator([this] { ++terminations; });
    }
    ~TrayShellFixture()
    {
        trayShell.reset();
        sync.stop();
    }

    TestHome home;
    MemoryCredentialStore store;
    QNetworkAccessManager network;
    MachineAuthService auth { store };
    ApprovalSyncService sync { auth };
    UpdateCheckService updates { &network };
    DashboardHome dashboard;
    WizardState wizard;
    ShellWindows windows { wizard, &dashboard.state };
    RecordingPopover popover;
    RecordingNotifier notifier;
    ScriptedQuitPrompt prompt;
    std::unique_ptr<TrayShell> trayShell;
    RecordingStatusItem* item = nullptr;
    int itemsMade = 0;
    int terminations = 0;
};
