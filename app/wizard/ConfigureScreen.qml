import QtQuick
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The fourth screen: the agent name, which tools to govern and how, and the
// baseline posture; "Continue" starts the set-up run.
WizardPage {
    id: screen
    objectName: "configureScreen"
    required property WizardState wizardState
    readonly property AgentConfiguration configuration: wizardState.configuration
    defaultButton: continueButton

    NameField {
        objectName: "nameSection"
        Layout.fillWidth: true
        title: screen.configuration.hasPerProjectTool ? qsTr("Agent Name") : qsTr("Machine Name")
        caption: screen.configuration.hasPerProjectTool ? qsTr("A name for this project's agent.")
                                                      : qsTr("A name for this machine.")
        value: screen.configuration.agentName
        error: screen.configuration.agentNameError
        onEdited: text => screen.configuration.rename(text)
    }

    SectionTitle {
        Layout.fillWidth: true
        Layout.topMargin: Style.spacingSmall
        title: qsTr("AI Agents")
        text: qsTr("We found the following agents on your system. Expand to choose scope.")
    }
    Spinner {
        objectName: "detectingTools"
        Layout.alignment: Qt.AlignHCenter
        visible: screen.configuration.isDetectingTools
        running: visible
    }
    Repeater {
        model: screen.configuration.detectedTools
        ToolSection {
            objectName: "toolSection"
            Layout.fillWidth: true
            configuration: screen.configuration
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
        choices: screen.configuration.securityPostureChoices()
        currentIndex: screen.configuration.securityPosture
        onActivated: index => screen.configuration.choosePosture(index)
    }

    footer: [
        FilledButton {
            id: continueButton
            objectName: "continueButton"
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("Continue")
            enabled: screen.configuration.canContinue
            onClicked: screen.wizardState.startSetup()
        },
        HelpLink {
            Layout.alignment: Qt.AlignHCenter
            onClicked: screen.wizardState.openSetupGuide("setup-configure")
        }
    ]
}
