import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// "▸" that turns to "▾": shows or hides what lies under a row. Name it
// through Accessible.name.
T.AbstractButton {
    id: control

    property bool expanded: false

    implicitWidth: Style.minimumTarget + 4
    implicitHeight: Style.minimumTarget + 4
    opacity: enabled ? 1.0 : Style.disabledOpacity

    contentItem: Text {
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        text: control.expanded ? "\u25be" : "\u25b8"
        color: Style.label
        font.pixelSize: Style.bodySize
    }
    background: Rectangle {
        radius: Style.cornerRadius - 2
        color: control.down ? Style.highlightFill : (control.hovered ? Style.withAlpha(Style.label, 0.08) : "transparent")
    }
    Accessible.role: Accessible.Button
    FocusRing { control: control }
}
