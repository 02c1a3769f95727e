#pragma once

#include <QString>

// What the tray shows for a mute state and a pending count: which of our icons,
// its accessible name, whether it is greyed, and the title (" N", or empty),
// which is drawn as a badge and put in the tooltip.
struct StatusItemIcon
{
    QString symbol;        // "shield-outline", "shield-filled" or "shield-muted"
    QString accessibility; // "Quorvane" or "Quorvane (muted)"
    bool greyed = false;   // the tertiary label colour
    QString title;         // " " + count, or empty
    int count = 0;
    QString note; // a line the tooltip adds ("Offline — retrying in 12 s"), or empty

    static StatusItemIcon forState(bool muted, int count);
    // The tooltip: the accessible name, followed by the count when there is
    // one, and the note on a line of its own.
    QString toolTip() const;
    // Qt resource path of the symbol's SVG.
    QString resourcePath() const;

    bool operator==(const StatusItemIcon&) const = default;
};
