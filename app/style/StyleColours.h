#pragma once

#include <QColor>

// One set of the windows' colours: the dark one people know, and a light one
// for desktops that prefer light. Every text colour reads at 4.5:1 or more on
// the backgrounds it is drawn on, and every control's outline or track at 3:1
// against the window (tst_ScreensContrast measures both in every screen).
struct StyleColours
{
    QColor windowBackground;
    QColor cardFill;
    QColor teal;
    QColor orange;
    QColor amber;
    QColor amberTint;
    QColor red;
    QColor green;
    QColor label;
    QColor secondaryLabel;
    QColor tertiaryLabel;
    QColor separator;
    QColor accent;
    QColor fieldFill;
    QColor fieldBorder;
    QColor controlTrack;
    QColor controlKnob;
    QColor controlBorder;
    QColor popupFill;
    QColor neutralFill;
    QColor highlightFill;

    static const StyleColours& dark();
    static const StyleColours& light();
};
