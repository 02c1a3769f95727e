import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A borderless button: an optional icon and a text, tinted while pressed.
T.AbstractButton {
    id: control

    property url iconSource
    property color textColor: Style.teal
    property int pixelSize: Style.captionSize
    property int weight: Font.Medium
    property bool iconAfter: false

    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: Math.max(implicitContentHeight, 18) + topPadding + bottomPadding
    leftPadding: 4
    rightPadding: 4
    topPadding: 3
    bottomPadding: 3
    opacity: enabled ? (down ? 0.6 : 1.0) : 0.5

    background: Rectangle {
        radius: 5
        color: control.hovered ? Style.withAlpha(Style.label, 0.06) : "transparent"
    }

    contentItem: Item {
        implicitWidth: row.implicitWidth
        implicitHeight: row.implicitHeight
        Row {
            id: row
            anchors.verticalCenter: parent.verticalCenter
            layoutDirection: control.iconAfter ? Qt.RightToLeft : Qt.LeftToRight
            spacing: 4
            Image {
                anchors.verticalCenter: parent.verticalCenter
                visible: control.iconSource.toString().length > 0
                source: control.iconSource
                sourceSize.width: control.pixelSize + 1
                sourceSize.height: control.pixelSize + 1
            }
            Text {
                objectName: "plainButtonText"
                textFormat: Text.PlainText
                anchors.verticalCenter: parent.verticalCenter
                text: control.text
                color: control.textColor
                font.pixelSize: control.pixelSize
                font.weight: control.weight
            }
        }
    }

    FocusRing { control: control; cornerRadius: 5 }
}
