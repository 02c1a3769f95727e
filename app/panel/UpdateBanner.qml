import QtQuick
import QtQuick.Layouts
import Quorvane.Style

// A newer release: its version and "Update", then the download's progress,
// or the last failure instead.
Rectangle {
    id: banner
    objectName: "updateBanner"

    required property var updateState

    implicitHeight: 34
    color: Style.withAlpha(Style.teal, 0.08)

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 10
        spacing: 8

        Image {
            source: Qt.resolvedUrl("icons/download.svg")
            sourceSize.width: 16
            sourceSize.height: 16
        }

        // While updating: the progress bar and the percentage.
        Rectangle {
            objectName: "updateProgress"
            visible: banner.updateState.mode === "progress"
            Layout.fillWidth: true
            implicitHeight: 4
            radius: 2
            color: Style.controlTrack
            Rectangle {
                objectName: "updateProgressFill"
                width: parent.width * banner.updateState.progress
                height: parent.height
                radius: 2
                color: Style.teal
            }
        }
        Text {
            objectName: "updatePercent"
            textFormat: Text.PlainText
            visible: banner.updateState.mode === "progress"
            text: banner.updateState.percentText
            color: Style.secondaryLabel
            font.pixelSize: Style.footnoteSize
        }

        Text {
            objectName: "updateError"
            textFormat: Text.PlainText
            visible: banner.updateState.mode === "error"
            Layout.fillWidth: true
            text: banner.updateState.errorText
            color: Style.orange
            font.pixelSize: Style.footnoteSize
            elide: Text.ElideRight
        }

        Text {
            objectName: "updateText"
            textFormat: Text.PlainText
            visible: banner.updateState.mode === "available" || banner.updateState.mode === "managed"
            Layout.fillWidth: true
            text: banner.updateState.availableText
            color: Style.label
            font.pixelSize: Style.captionSize
            font.weight: Font.Medium
            elide: Text.ElideRight
        }
        PlainButton {
            objectName: "updateButton"
            visible: banner.updateState.mode === "available"
            text: qsTr("Update")
            pixelSize: Style.captionSize
            weight: Font.DemiBold
            onClicked: banner.updateState.update()
        }
    }
}
