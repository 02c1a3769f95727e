import QtQuick
import Quorvane.Style

// The header of an agent's request to unregister itself.
Row {
    id: header
    objectName: "removalHeader"

    property int pixelSize: Style.footnoteSize
    property int weight: Font.Bold

    spacing: 6

    Image {
        anchors.verticalCenter: parent.verticalCenter
        source: Qt.resolvedUrl("icons/dialog-warning.svg")
        sourceSize.width: header.pixelSize + 3
        sourceSize.height: header.pixelSize + 3
    }
    Text {
        objectName: "removalHeaderText"
        textFormat: Text.PlainText
        anchors.verticalCenter: parent.verticalCenter
        text: qsTr("REMOVE AGENT")
        color: Style.amber
        font.pixelSize: header.pixelSize
        font.weight: header.weight
        font.letterSpacing: 0.6
    }
}
