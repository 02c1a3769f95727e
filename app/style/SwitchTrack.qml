import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// The track and knob of a switch: on, an accent track with the knob at the
// right end; off, a muted track with the knob at the left. Used as the
// switch's indicator.
Rectangle {
    id: track
    required property T.AbstractButton control

    implicitWidth: 40
    implicitHeight: 22
    radius: height / 2
    color: control.checked ? Style.teal : Style.controlTrack
    border.width: control.checked ? 0 : 1
    border.color: Style.controlBorder
    Behavior on color { ColorAnimation { duration: 150 } }

    Rectangle {
        x: track.control.checked ? track.width - width - 3 : 3
        anchors.verticalCenter: parent.verticalCenter
        width: track.height - 6
        height: width
        radius: width / 2
        color: Style.controlKnob
        Behavior on x { NumberAnimation { duration: 150; easing.type: Easing.InOutQuad } }
    }

    FocusRing { control: track.control; cornerRadius: track.radius }
}
