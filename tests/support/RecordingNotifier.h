#pragma once

#include "platform/DesktopNotifier.h"

#include <QList>
#include <QStringList>

// A notifier that records what it was asked to show and to withdraw.
class RecordingNotifier : public DesktopNotifier
{
    Q_OBJECT

public:
    void notify(const QString& summary, const QString& body, const QList<Action>& offered) override
    {
        shown.append({summary, body});
        actions.append(offered);
    }
    void withdrawAll() override { ++withdrawn; }

    QList<QStringList> shown;
    QList<QList<Action>> actions; // each notification's
    int withdrawn = 0;
};
