import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The fourth screen: the agent name, which tools to govern and how, and the
// baseline posture; "Continue" starts the set-up run.
WizardPage {
    id: screen
    objectName: "configureScreen"
    required property WizardState wizardState
    defaultButton: continueButton

    NameField {
        objectName: "nameSection"
        Layout.fillWidth: true
        title: screen.wizardState.hasPerProjectTool ? qsTr("Agent Name") : qsTr("Machine Name")
        caption: screen.wizardState.hasPerProjectTool ? qsTr("A name for this project's agent.")
                                                      : qsTr("A name for this machine.")
        value: screen.wizardState.agentName
        error: screen.wizardState.agentNameError
        onEdited: text => screen.wizardState.agentName = text
    }

    SectionTitle {
        Layout.fillWidth: true
        Layout.topMargin: Style.spacingSmall
        title: qsTr("AI Agents")
        text: qsTr("We found the following agents on your system. Expand to choose scope.")
    }
    BusyIndicator {
        objectName: "detectingTools"
        Layout.alignment: Qt.AlignHCenter
        visible: screen.wizardState.isDetectingTools
        running: visible
    }
    Repeater {
        model: screen.wizardState.detectedTools
        ToolSection {
            objectName: "toolSection"
            Layout.fillWidth: true
            wizardState: screen.wizardState
        }
    }

    SectionTitle {
        Layout.fillWidth: true
        Layout.topMargin: Style.spacingSmall
        title: qsTr("Security Posture")
        text: qsTr("Baseline rules for what your agents can do without asking.")
    }
    PostureChooser {
        Layout.fillWidth: true
        // The posture as a number is its place in this list.
        choices: screen.wizardState.securityPostureChoices()
        currentIndex: screen.wizardState.securityPosture
        onActivated: index => screen.wizardState.securityPosture = index
    }

    footer: [
        FilledButton {
            id: continueButton
            objectName: "continueButton"
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("Continue")
            enabled: screen.wizardState.canContinue
            onClicked: screen.wizardState.startSetup()
        },
        HelpLink {
            Layout.alignment: Qt.AlignHCenter
            onClicked: screen.wizardState.openSetupGuide("setup-configure")
        }
    ]
}
