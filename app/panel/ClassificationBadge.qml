import QtQuick
import Quorvane.Style

// A risk classification (or MCP service) in a rounded outline. The text and
// its colour name come from the model ("red" or "teal").
Item {
    id: badge
    objectName: "classificationBadge"

    property string text
    property string colorName: "teal"
    readonly property color color: Style[colorName] !== undefined ? Style[colorName] : Style.teal

    implicitWidth: label.implicitWidth + 12
    implicitHeight: label.implicitHeight + 4

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: "transparent"
        border.width: 1
        border.color: badge.color
    }

    Text {
        id: label
        objectName: "badgeText"
        textFormat: Text.PlainText
        anchors.centerIn: parent
        text: badge.text
        color: badge.color
        font.pixelSize: Style.footnoteSize
        font.weight: Font.DemiBold
    }
}
