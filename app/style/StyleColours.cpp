#include "app/style/StyleColours.h"

namespace {

QColor white(float alpha)
{
    return QColor::fromRgbF(1.0f, 1.0f, 1.0f, alpha);
}

QColor black(float alpha)
{
    return QColor::fromRgbF(0.0f, 0.0f, 0.0f, alpha);
}

QColor tint(QColor colour, float alpha)
{
    colour.setAlphaF(alpha);
    return colour;
}

} // namespace

const StyleColours& StyleColours::dark()
{
    static const StyleColours colours {
        .windowBackground = QColor(30, 30, 30),
        .cardFill = white(0.06f),
        .teal = QColor(6, 182, 212),
        .orange = QColor(224, 145, 69),
        .amber = QColor(212, 160, 74),
        .amberTint = tint(QColor(212, 160, 74), 0.12f),
        .red = QColor(255, 105, 97),
        .green = QColor(48, 209, 88),
        .label = white(0.85f),
        .secondaryLabel = white(0.55f),
        .tertiaryLabel = white(0.50f),
        .separator = white(0.10f),
        .accent = QColor(100, 160, 255),
        .fieldFill = white(0.04f),
        .fieldBorder = white(0.40f),
        .controlTrack = white(0.16f),
        .controlKnob = QColor(235, 235, 235),
        .controlBorder = white(0.45f),
        .popupFill = QColor(44, 44, 46),
        .neutralFill = QColor(76, 76, 76),
        .highlightFill = tint(QColor(6, 182, 212), 0.20f),
    };
    return colours;
}

const StyleColours& StyleColours::light()
{
    static const StyleColours colours {
        .windowBackground = QColor(246, 246, 246),
        .cardFill = black(0.04f),
        .teal = QColor(4, 96, 118),
        .orange = QColor(160, 72, 6),
        .amber = QColor(138, 84, 4),
        .amberTint = tint(QColor(212, 160, 74), 0.18f),
        .red = QColor(190, 28, 28),
        .green = QColor(20, 112, 52),
        .label = black(0.85f),
        .secondaryLabel = black(0.62f),
        .tertiaryLabel = black(0.56f),
        .separator = black(0.10f),
        .accent = QColor(30, 88, 220),
        .fieldFill = QColor(255, 255, 255),
        .fieldBorder = black(0.45f),
        .controlTrack = black(0.45f),
        .controlKnob = QColor(255, 255, 255),
        .controlBorder = black(0.50f),
        .popupFill = QColor(255, 255, 255),
        .neutralFill = QColor(104, 104, 108),
        .highlightFill = tint(QColor(4, 96, 118), 0.18f),
    };
    return colours;
}
