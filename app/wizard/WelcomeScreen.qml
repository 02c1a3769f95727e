import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Wizard

// The first screen: what the program does, and the way in.
Item {
    id: screen
    objectName: "welcomeScreen"
    required property WizardState wizardState

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(parent.width - 64, 420)
        spacing: 18

        Image {
            objectName: "logo"
            Layout.alignment: Qt.AlignHCenter
            source: "qrc:/quorvane/icons/Logo.svg"
            sourceSize: Qt.size(96, 96)
            width: 96
            height: 96
        }
        Label {
            objectName: "welcomeTitle"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: "Welcome to Quorvane"
            color: "#f2f2f7"
            font.pixelSize: 26
            font.bold: true
        }
        Label {
            objectName: "welcomeText"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: "Quorvane puts you in control of your AI tools. When an agent wants to do something risky, you approve it first."
            color: "#a1a1aa"
            font.pixelSize: 14
        }
        Label {
            objectName: "tagline"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            textFormat: Text.StyledText
            text: "Trust your AI. <font color=\"#3b82f6\">Verify</font> what matters."
            color: "#f2f2f7"
            font.pixelSize: 15
        }
        Button {
            objectName: "getStartedButton"
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 12
            text: "Get Started →"
            onClicked: screen.wizardState.getStarted()
        }
    }
}
