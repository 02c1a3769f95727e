import QtQuick
import Quorvane.Style

// The ring around a control that has the keyboard focus from Tab (not from a
// click): put it inside the control.
Rectangle {
    required property Item control
    property real cornerRadius: 6

    objectName: "focusRing"
    anchors.fill: parent
    anchors.margins: -3
    radius: cornerRadius + 3
    color: "transparent"
    border.width: 2
    border.color: Style.accent
    visible: control.visualFocus
    z: 10
}
