import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The second screen: sign in through the web page opened in the browser.
WizardPage {
    id: screen
    objectName: "signInScreen"
    required property WizardState wizardState
    title: qsTr("Sign in to your account")
    subtitle: qsTr("Connect your Google account to link your agents.")
    defaultButton: screen.wizardState.account.isWaiting ? stopWaitingButton : signInButton

    Item { Layout.preferredHeight: Style.spacingLarge }
    Spinner {
        objectName: "signInProgress"
        Layout.alignment: Qt.AlignHCenter
        Layout.preferredWidth: 28
        Layout.preferredHeight: 28
        visible: screen.wizardState.account.isWaiting
        running: visible
        Accessible.name: qsTr("Waiting for the sign-in in your browser")
    }
    Label {
        objectName: "signInNote"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: qsTr("Opens the sign-in page in your browser · returns here automatically")
        color: Style.tertiaryLabel
        font.pixelSize: Style.captionSize
    }
    ErrorText {
        objectName: "signInError"
        Layout.fillWidth: true
        text: screen.wizardState.account.errorMessage
    }

    footer: [
        // After an error the same button starts over: one action, not two.
        FilledButton {
            id: signInButton
            objectName: "signInButton"
            Layout.alignment: Qt.AlignHCenter
            visible: !screen.wizardState.account.isWaiting
            text: qsTr("Sign in with Google")
            onClicked: screen.wizardState.account.start()
        },
        // The browser never says that a sign-in was given up: the person can stop waiting.
        OutlinedButton {
            id: stopWaitingButton
            objectName: "stopWaitingButton"
            Layout.alignment: Qt.AlignHCenter
            visible: screen.wizardState.account.isWaiting
            color: Style.secondaryLabel
            text: qsTr("Stop waiting")
            onClicked: screen.wizardState.account.stopWaiting()
        }
    ]
}
