import QtQuick
import QtQuick.Controls
import Quorvane.Style
import Quorvane.Wizard

// Stands in for the wizard screens that are not built yet.
Item {
    id: screen
    objectName: "placeholderScreen"
    required property WizardState wizardState
    readonly property var titles: [qsTr("Welcome"), qsTr("Sign In"), qsTr("Install"), qsTr("Configure"),
        qsTr("Setting Up"), qsTr("Done")]

    Label {
        objectName: "placeholderTitle"
        anchors.centerIn: parent
        text: screen.titles[screen.wizardState.currentScreen] ?? ""
        color: Style.label
        font.pixelSize: Style.titleSize
    }
}
