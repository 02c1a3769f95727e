import QtQuick

// Icon and text side by side, centred: the label of both button styles.
Item {
    id: content

    property string text
    property url iconSource
    property color textColor: "white"
    property font font
    property real spacing: 6

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight

    Row {
        id: row
        anchors.centerIn: parent
        spacing: icon.visible && label.text.length > 0 ? content.spacing : 0

        Image {
            id: icon
            objectName: "buttonIcon"
            anchors.verticalCenter: parent.verticalCenter
            visible: content.iconSource.toString().length > 0
            source: content.iconSource
            sourceSize.width: Math.round(content.font.pixelSize * 1.25)
            sourceSize.height: Math.round(content.font.pixelSize * 1.25)
            width: visible ? sourceSize.width : 0
            height: visible ? sourceSize.height : 0
        }

        Text {
            id: label
            objectName: "buttonText"
            textFormat: Text.PlainText
            anchors.verticalCenter: parent.verticalCenter
            text: content.text
            color: content.textColor
            font: content.font
            elide: Text.ElideRight
        }
    }
}
