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

    indicator: Rectangle {
        x: control.width - width
        anchors.verticalCenter: parent.verticalCenter
        width: 32
        height: 18
        radius: 9
        color: control.checked ? Style.teal : Style.withAlpha("white", 0.18)
        Behavior on color { ColorAnimation { duration: 150 } }
        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            anchors.verticalCenter: parent.verticalCenter
            width: 14
            height: 14
            radius: 7
            color: "white"
            Behavior on x { NumberAnimation { duration: 150; easing.type: Easing.InOutQuad } }
        }
    }

    contentItem: Row {
        spacing: 5
        rightPadding: 40
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
            font.pixelSize: 11
            font.weight: Font.Medium
        }
    }

    FocusRing { control: control; cornerRadius: 9 }
}
