import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T
import Quorvane.Style
import Quorvane.Trust

// Shown on the panel while a trust window is active: its time left and a way
// to end it. `cancelRequested()` is the "Cancel" button; the panel answers
// with model.startDeactivate().
Rectangle {
    id: banner
    objectName: "trustWindowBanner"

    property TrustWindowState model
    property date endsAt: model ? model.activeUntil : new Date(NaN)
    property string timeText: ""
    signal cancelRequested()

    function refresh() {
        banner.timeText = banner.model ? banner.model.timeText(banner.endsAt) : "";
    }

    onEndsAtChanged: refresh()
    Component.onCompleted: refresh()

    Timer {
        interval: 1000
        repeat: true
        running: banner.visible
        onTriggered: banner.refresh()
    }

    implicitWidth: 360
    implicitHeight: 40
    color: Style.withAlpha(Style.teal, 0.10)

    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 1
        color: Style.withAlpha(Style.teal, 0.25)
    }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 8
        spacing: 8

        Image {
            objectName: "bannerIcon"
            source: Qt.resolvedUrl("icons/pause.svg")
            sourceSize.width: 18
            sourceSize.height: 18
        }

        Text {
            objectName: "bannerTitle"
            textFormat: Text.PlainText
            text: qsTr("TRUST WINDOW")
            color: Style.teal
            font.pixelSize: Style.footnoteSize
            font.weight: Font.Bold
            font.letterSpacing: 0.5
        }

        Text {
            objectName: "bannerTime"
            textFormat: Text.PlainText
            text: banner.timeText
            color: Style.label
            font.pixelSize: Style.captionSize
        }

        Item { Layout.fillWidth: true }

        T.Button {
            id: cancel
            objectName: "cancelButton"
            text: qsTr("Cancel")
            implicitWidth: cancelText.implicitWidth + 16
            implicitHeight: 26
            onClicked: banner.cancelRequested()
            Accessible.name: qsTr("Cancel the trust window")
            FocusRing { control: cancel }
            background: Rectangle {
                radius: 6
                color: cancel.down ? Style.withAlpha(Style.red, 0.18) : "transparent"
            }
            contentItem: Text {
                id: cancelText
                textFormat: Text.PlainText
                text: cancel.text
                color: Style.red
                font.pixelSize: Style.captionSize
                font.weight: Font.DemiBold
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
        }
    }
}
