import QtQuick
import Quorvane.Style

// One arrow of a stepper ("‹" or "›"), a target of at least
// Style.minimumTarget: tinted while pressed or hovered, faded at the end of
// the range.
Rectangle {
    id: arrow
    property string glyph
    property bool pressed
    property bool hovered
    property bool atEnd

    implicitWidth: Style.minimumTarget
    implicitHeight: Style.minimumTarget
    radius: Style.cornerRadius - 3
    color: pressed ? Style.highlightFill : (hovered && !atEnd ? Style.withAlpha(Style.label, 0.08) : "transparent")

    Text {
        anchors.centerIn: parent
        textFormat: Text.PlainText
        text: arrow.glyph
        font.pixelSize: Style.pageTitleSize
        color: arrow.pressed ? Style.teal : Style.label
        opacity: arrow.atEnd ? Style.disabledOpacity : 1.0
    }
}
