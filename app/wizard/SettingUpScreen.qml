import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The fifth screen: the set-up run's progress and log, the model download,
// and the way to skip the rest.
WizardPage {
    id: screen
    objectName: "settingUpScreen"
    required property WizardState wizardState
    readonly property SetupRun setup: wizardState.setup
    readonly property InstallPhase install: wizardState.install
    readonly property ModelDownload download: wizardState.install.modelDownload
    title: qsTr("Setting up your agents")
    subtitle: qsTr("Registering, linking, and configuring. No browser needed.")
    defaultButton: skipButton

    ColumnLayout {
        Layout.fillWidth: true
        spacing: Style.spacingTight
        ProgressLine {
            objectName: "setupProgressBar"
            Layout.fillWidth: true
            value: screen.setup.progress
            Accessible.name: qsTr("Set-up progress")
        }
        Label {
            objectName: "phaseText"
            textFormat: Text.PlainText
            text: screen.setup.phaseText
            color: Style.secondaryLabel
            font.pixelSize: Style.captionSize
        }
    }

    Card {
        objectName: "setupLog"
        Layout.fillWidth: true
        implicitHeight: logColumn.implicitHeight + 2 * Style.spacing
        ColumnLayout {
            id: logColumn
            anchors.fill: parent
            anchors.margins: Style.spacing
            spacing: Style.spacingTight
            Repeater {
                model: screen.setup.log
                LogRow {
                    required property var model
                    required property int index
                    objectName: "logRow"
                    Layout.fillWidth: true
                    first: index === 0
                    text: model.text
                    logStyle: model.style
                }
            }
        }
    }

    LLMDownloadingPill {
        Layout.alignment: Qt.AlignHCenter
        visible: screen.install.installLLM && screen.download.llmDownloading && !screen.download.llmDownloadComplete
        download: screen.download
    }
    LLMReadyPill {
        Layout.alignment: Qt.AlignHCenter
        visible: screen.install.installLLM && screen.download.llmDownloadComplete
    }
    InfoBox {
        objectName: "privacyBox"
        Layout.fillWidth: true
        visible: screen.install.installLLM
        title: qsTr("Privacy")
        text: qsTr("Activity analysis runs locally. Only generalized rule suggestions are uploaded for your review.")
    }

    footer: OutlinedButton {
        id: skipButton
        objectName: "skipButton"
        Layout.alignment: Qt.AlignHCenter
        color: Style.secondaryLabel
        text: qsTr("Skip & Finish Setup")
        onClicked: screen.wizardState.skipSetup()
    }
}
