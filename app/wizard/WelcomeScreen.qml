import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The first screen: what the program does, and the way in.
Item {
    id: screen
    objectName: "welcomeScreen"
    required property WizardState wizardState

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(parent.width - 64, 420)
        spacing: Style.spacing

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
            text: qsTr("Welcome to Quorvane")
            color: Style.label
            font.pixelSize: Style.titleSize
            font.bold: true
        }
        Label {
            objectName: "welcomeText"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: qsTr("Quorvane puts you in control of your AI tools. When an agent wants to do something risky, you approve it first.")
            color: Style.secondaryLabel
            font.pixelSize: Style.bodySize
        }
        Label {
            objectName: "tagline"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            textFormat: Text.StyledText
            text: qsTr("Trust your AI. <font color=\"%1\">Verify</font> what matters.").arg(Style.accent)
            color: Style.label
            font.pixelSize: Style.bodySize
        }
        Button {
            objectName: "getStartedButton"
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: Style.spacingSmall
            text: qsTr("Get Started →")
            onClicked: screen.wizardState.getStarted()
        }
    }
}
