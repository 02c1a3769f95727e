#pragma once

#include "tests/support/RecordingNotifier.h"
#include "app/shell/PopoverHost.h"
#include "app/shell/QuitGuard.h"
#include "app/shell/StatusItem.h"

#include <QList>

// A status item that records what it was told.
class RecordingStatusItem : public StatusItem
{
    Q_OBJECT

public:
    void setIcon(const StatusItemIcon& icon) override { icons.append(icon); }
    void setMenu(const QList<MenuEntry>& entries) override { menus.append(entries); }
    QRect geometry() const override { return QRect(100, 0, 24, 24); }
    bool isInTray() const override { return inTray; }

    bool inTray = true;
    QList<StatusItemIcon> icons;
    QList<QList<MenuEntry>> menus;
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
        if (!shown)
            return;
        shown = false;
        ++closeCount;
        Q_EMIT shownChanged(false);
    }
    bool closedByFocusLossRecently() const override { return focusLossJustNow; }

    bool shown = false;
    bool focusLossJustNow = false;
    int showCount = 0;
    int closeCount = 0;
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
        Answer callback = std::move(pending);
        pending = {};
        if (callback)
            callback(choice);
    }

    int asked = 0;
    Answer pending;
};
