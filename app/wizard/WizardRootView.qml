import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The wizard window's content: the step bar (from sign-in on) and exactly the
// screen of wizardState.currentScreen, every change animated (ease in-out, 0.25 s).
Rectangle {
    id: root
    objectName: "wizardRootView"
    required property WizardState wizardState
    readonly property int transitionDuration: 250
    readonly property int activeStep: wizardState.activeStepOf(wizardState.currentScreen)
    readonly property var screens: [welcomeComponent, signInComponent, installComponent, configureComponent,
        settingUpComponent, doneComponent]
    color: Style.windowBackground
    implicitWidth: 540
    implicitHeight: 780

    Component {
        id: welcomeComponent
        WelcomeScreen { wizardState: root.wizardState }
    }
    Component {
        id: signInComponent
        SignInScreen { wizardState: root.wizardState }
    }
    Component {
        id: installComponent
        InstallScreen { wizardState: root.wizardState }
    }
    Component {
        id: configureComponent
        ConfigureScreen { wizardState: root.wizardState }
    }
    Component {
        id: settingUpComponent
        SettingUpScreen { wizardState: root.wizardState }
    }
    Component {
        id: doneComponent
        DoneScreen { wizardState: root.wizardState }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        StepProgressBar {
            Layout.fillWidth: true
            Layout.topMargin: Style.spacingLarge
            Layout.leftMargin: Style.spacingLarge
            Layout.rightMargin: Style.spacingLarge
            visible: root.activeStep >= 0
            wizardState: root.wizardState
            activeStep: Math.max(0, root.activeStep)
        }

        StackView {
            id: stack
            objectName: "wizardStack"
            Layout.fillWidth: true
            Layout.fillHeight: true
            focus: true
            // Text that names no colour of its own takes the window's.
            palette.window: Style.windowBackground
            palette.windowText: Style.label
            palette.text: Style.label
            palette.placeholderText: Style.tertiaryLabel
            initialItem: root.screens[root.wizardState.currentScreen]

            replaceEnter: Transition {
                NumberAnimation { property: "opacity"; from: 0; to: 1; duration: root.transitionDuration; easing.type: Easing.InOutQuad }
            }
            replaceExit: Transition {
                NumberAnimation { property: "opacity"; from: 1; to: 0; duration: root.transitionDuration; easing.type: Easing.InOutQuad }
            }
        }
    }

    Connections {
        target: root.wizardState
        function onCurrentScreenChanged() {
            stack.replace(root.screens[root.wizardState.currentScreen])
        }
    }
}
