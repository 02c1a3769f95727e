import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A compact switch with a label on the left and the track on the right.
T.Switch {
    id: control

    property url iconSource

    implicitWidth: 300
    implicitHeight: 24
    padding: 0

    indicator: SwitchTrack {
        control: control
        x: control.width - width
        anchors.verticalCenter: parent.verticalCenter
    }

    contentItem: Row {
        spacing: 5
        rightPadding: 48
        Image {
            anchors.verticalCenter: parent.verticalCenter
            source: control.iconSource
            sourceSize.width: 13
            sourceSize.height: 13
        }
        Text {
            textFormat: Text.PlainText
            anchors.verticalCenter: parent.verticalCenter
            text: control.text
            color: Style.label
            font.pixelSize: Style.footnoteSize
            font.weight: Font.Medium
        }
    }

}
