import QtQuick
import QtQuick.Layouts
import Quorvane.Style

// What needs the person before anything else: a machine the back-end no
// longer accepts, and a popover paused by a freeze.
ColumnLayout {
    id: attention
    objectName: "dashboardAttention"

    required property var home

    visible: home.identityRefused || home.autoOpenPaused
    spacing: Style.spacingSmall

    RowLayout {
        objectName: "identityRefusedBanner"
        visible: attention.home.identityRefused
        Layout.fillWidth: true
        Text {
            Layout.fillWidth: true
            text: qsTr("The server refused this machine's identity.")
            textFormat: Text.PlainText
            color: Style.label
            wrapMode: Text.Wrap
        }
        FilledButton {
            objectName: "dashboardSetUpAgainButton"
            text: qsTr("Set up this machine again")
            color: Style.accent
            onClicked: attention.home.setUpAgain()
        }
    }

    RowLayout {
        objectName: "autoOpenPausedBanner"
        visible: attention.home.autoOpenPaused
        Layout.fillWidth: true
        Text {
            Layout.fillWidth: true
            text: qsTr("Paused: the popover does not open for new requests.")
            textFormat: Text.PlainText
            color: Style.secondaryLabel
            wrapMode: Text.Wrap
        }
        OutlinedButton {
            objectName: "dashboardResumeButton"
            text: qsTr("Resume")
            onClicked: attention.home.resume()
        }
    }
}
