import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Wizard

// The second screen: sign in through the web page opened in the browser.
Item {
    id: screen
    objectName: "signInScreen"
    required property WizardState wizardState

    ColumnLayout {
        anchors.centerIn: parent
        width: Math.min(parent.width - 64, 420)
        spacing: 14

        Label {
            objectName: "signInTitle"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: qsTr("Sign in to your account")
            color: "#f2f2f7"
            font.pixelSize: 24
            font.bold: true
        }
        Label {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: qsTr("Connect your Google account to link your agents.")
            color: "#a1a1aa"
            font.pixelSize: 14
        }
        BusyIndicator {
            objectName: "signInProgress"
            Layout.alignment: Qt.AlignHCenter
            visible: screen.wizardState.isLoading
            running: visible
        }
        // The browser never says that a sign-in was given up: the person can stop waiting.
        Button {
            objectName: "stopWaitingButton"
            Layout.alignment: Qt.AlignHCenter
            visible: screen.wizardState.isLoading
            flat: true
            text: qsTr("Stop waiting")
            onClicked: screen.wizardState.stopWaitingForSignIn()
        }
        Button {
            objectName: "signInButton"
            Layout.alignment: Qt.AlignHCenter
            visible: !screen.wizardState.isLoading
            text: qsTr("Sign in with Google")
            onClicked: screen.wizardState.startSignIn()
        }
        Label {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: qsTr("Opens a secure sign-in sheet · returns to app automatically")
            color: "#71717a"
            font.pixelSize: 12
        }
        Label {
            objectName: "signInError"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            visible: screen.wizardState.errorMessage !== ""
            text: screen.wizardState.errorMessage
            color: "#ef4444"
            font.pixelSize: 13
        }
        Button {
            objectName: "retryButton"
            Layout.alignment: Qt.AlignHCenter
            visible: screen.wizardState.errorMessage !== "" && !screen.wizardState.isLoading
            text: qsTr("Retry")
            onClicked: screen.wizardState.startSignIn()
        }
    }
}
