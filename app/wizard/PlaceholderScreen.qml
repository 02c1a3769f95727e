import QtQuick
import QtQuick.Controls
import Quorvane.Wizard

// Stands in for the wizard screens that are not built yet.
Item {
    id: screen
    objectName: "placeholderScreen"
    required property WizardState wizardState
    readonly property var titles: ["Welcome", "Sign In", "Install", "Configure", "Setting Up", "Done"]

    Label {
        objectName: "placeholderTitle"
        anchors.centerIn: parent
        text: screen.titles[screen.wizardState.currentScreen] ?? ""
        color: "#f2f2f7"
        font.pixelSize: 22
    }
}
