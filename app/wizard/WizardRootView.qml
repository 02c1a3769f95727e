import QtQuick
import QtQuick.Controls
import Quorvane.Style
import Quorvane.Wizard

// The wizard window's content: exactly the screen of wizardState.currentScreen,
// every change animated (ease in-out, 0.25 s).
Rectangle {
    id: root
    objectName: "wizardRootView"
    required property WizardState wizardState
    readonly property int transitionDuration: 250
    color: Style.windowBackground
    implicitWidth: 540
    implicitHeight: 780

    function componentFor(screen) {
        // 0: the welcome screen, 1: sign-in (the enumeration's keys are not visible to QML).
        return screen === 0 ? welcomeComponent : screen === 1 ? signInComponent : placeholderComponent
    }

    Component {
        id: welcomeComponent
        WelcomeScreen { wizardState: root.wizardState }
    }
    Component {
        id: signInComponent
        SignInScreen { wizardState: root.wizardState }
    }
    Component {
        id: placeholderComponent
        PlaceholderScreen { wizardState: root.wizardState }
    }

    StackView {
        id: stack
        objectName: "wizardStack"
        anchors.fill: parent
        initialItem: root.componentFor(root.wizardState.currentScreen)

        replaceEnter: Transition {
            NumberAnimation { property: "opacity"; from: 0; to: 1; duration: root.transitionDuration; easing.type: Easing.InOutQuad }
        }
        replaceExit: Transition {
            NumberAnimation { property: "opacity"; from: 1; to: 0; duration: root.transitionDuration; easing.type: Easing.InOutQuad }
        }
    }

    Connections {
        target: root.wizardState
        function onCurrentScreenChanged() {
            stack.replace(root.componentFor(root.wizardState.currentScreen))
        }
    }
}
