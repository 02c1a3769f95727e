import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A thin progress bar: the done part in the accent colour on a muted track.
T.ProgressBar {
    id: control

    implicitWidth: 120
    implicitHeight: 6

    background: Rectangle {
        radius: height / 2
        color: Style.controlTrack
    }
    contentItem: Item {
        Rectangle {
            width: control.visualPosition * parent.width
            height: parent.height
            radius: height / 2
            color: Style.teal
        }
    }
}
