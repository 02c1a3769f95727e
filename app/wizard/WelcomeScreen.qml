import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The first screen: what the program does, and the way in.
WizardPage {
    id: screen
    objectName: "welcomeScreen"
    required property WizardState wizardState
    defaultButton: getStartedButton

    Item { Layout.preferredHeight: Style.spacingLarge * 3 }
    Image {
        objectName: "logo"
        Layout.alignment: Qt.AlignHCenter
        source: Qt.resolvedUrl("icons/Logo.svg")
        sourceSize: Qt.size(96, 96)
        Layout.preferredWidth: 96
        Layout.preferredHeight: 96
        Accessible.role: Accessible.Graphic
        Accessible.name: qsTr("Quorvane")
    }
    Label {
        objectName: "welcomeTitle"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: qsTr("Welcome to Quorvane")
        color: Style.label
        font.pixelSize: Style.titleSize
        font.bold: true
    }
    Label {
        objectName: "welcomeText"
        textFormat: Text.PlainText
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
        text: qsTr("Trust your AI.") + " <font color=\"%1\">%2</font>".arg(Style.teal).arg(qsTr("Verify"))
              + qsTr(" what matters.")
        color: Style.label
        font.pixelSize: Style.bodySize
    }

    footer: FilledButton {
        id: getStartedButton
        objectName: "getStartedButton"
        Layout.alignment: Qt.AlignHCenter
        text: qsTr("Get Started →")
        onClicked: screen.wizardState.getStarted()
    }
}
