import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The third screen: what gets installed, then "Install & Continue →".
WizardPage {
    id: screen
    objectName: "installScreen"
    required property WizardState wizardState
    readonly property InstallPhase install: wizardState.install
    title: qsTr("Install Quorvane")
    subtitle: qsTr("We'll set up everything needed to protect your AI tools.")
    defaultButton: installButton
    Component.onCompleted: install.showInstallScreen()

    Label {
        objectName: "permissionNote"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: qsTr("Your system may ask for permission during installation")
        color: Style.tertiaryLabel
        font.pixelSize: Style.captionSize
    }

    Card {
        objectName: "modelCard"
        Layout.fillWidth: true
        implicitHeight: modelColumn.implicitHeight + 2 * Style.spacing

        ColumnLayout {
            id: modelColumn
            anchors.fill: parent
            anchors.margins: Style.spacing
            spacing: Style.spacingSmall

            Label {
                textFormat: Text.PlainText
                text: qsTr("Local AI Model")
                color: Style.secondaryLabel
                font.pixelSize: Style.captionSize
                font.weight: Font.DemiBold
            }
            OptionSwitch {
                objectName: "installModel"
                Layout.fillWidth: true
                title: qsTr("Install Gemma 4")
                tag: qsTr("(optional)")
                lines: [qsTr("~3.6 GB · runs locally · Apache 2.0"),
                    qsTr("Gemma 4 runs privately on your computer to analyze your activity and suggest personalized security rules."),
                    qsTr("Downloads in the background while you continue setup.")]
                checked: screen.install.installLLM
                enabled: screen.install.modelUnavailableReason === ""
                onToggled: checked => screen.install.chooseInstallLLM(checked)
            }
            Label {
                objectName: "modelUnavailableReason"
                Layout.fillWidth: true
                visible: text !== ""
                wrapMode: Text.WordWrap
                text: screen.install.modelUnavailableReason
                color: Style.secondaryLabel
                font.pixelSize: Style.captionSize
            }
            StatusRow {
                objectName: "ollamaStatusRow"
                Layout.fillWidth: true
                visible: screen.install.installLLM
                text: qsTr("Ollama engine")
                status: screen.install.ollamaStatus
            }
            LLMWarningView {
                Layout.fillWidth: true
                visible: !screen.install.installLLM
            }
        }
    }

    Card {
        objectName: "mcpCard"
        Layout.fillWidth: true
        implicitHeight: mcpColumn.implicitHeight + 2 * Style.spacing

        ColumnLayout {
            id: mcpColumn
            anchors.fill: parent
            anchors.margins: Style.spacing
            spacing: Style.spacingSmall

            Label {
                textFormat: Text.PlainText
                text: qsTr("MCP Servers")
                color: Style.secondaryLabel
                font.pixelSize: Style.captionSize
                font.weight: Font.DemiBold
            }
            OptionSwitch {
                objectName: "discoverMcp"
                Layout.fillWidth: true
                title: qsTr("Discover MCP Servers")
                lines: [qsTr("Discover connected services so approval cards show what's being accessed."),
                    qsTr("Scans agent settings for installed MCP configuration. Only server names and basic metadata are collected.")]
                checked: screen.install.discoverMcpServers
                onToggled: checked => screen.install.chooseDiscoverMcpServers(checked)
            }
        }
    }

    OptionSwitch {
        objectName: "approverOnly"
        Layout.fillWidth: true
        title: qsTr("Approval Device Only")
        lines: [qsTr("Use this machine only to approve requests from agents on other machines.")]
        checked: screen.install.approverOnly
        onToggled: checked => screen.install.chooseApproverOnly(checked)
    }

    ColumnLayout {
        objectName: "installStatusRows"
        Layout.fillWidth: true
        // Shown once the installation has started.
        visible: screen.install.cliStatus.kind !== 0 || screen.install.credentialStoreStatus.kind !== 0
                 || screen.install.machineStatus.kind !== 0
        spacing: Style.spacingSmall
        StatusRow {
            objectName: "cliStatusRow"
            Layout.fillWidth: true
            text: qsTr("Quorvane command-line tool")
            status: screen.install.cliStatus
        }
        StatusRow {
            objectName: "credentialStoreStatusRow"
            Layout.fillWidth: true
            text: qsTr("Secure key storage")
            status: screen.install.credentialStoreStatus
        }
        StatusRow {
            objectName: "machineStatusRow"
            Layout.fillWidth: true
            text: qsTr("Machine registration")
            status: screen.install.machineStatus
        }
    }

    footer: [
        ErrorText {
            objectName: "installError"
            Layout.fillWidth: true
            text: screen.install.errorMessage
        },
        Label {
            objectName: "toolScanProgress"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            visible: screen.wizardState.configuration.isDetectingTools
            text: qsTr("Looking for AI tools on this computer…")
            color: Style.secondaryLabel
            font.pixelSize: Style.captionSize
        },
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: Style.spacingSmall
            FilledButton {
                id: installButton
                objectName: "installButton"
                // After a failed step the same button starts the phase over.
                text: screen.install.errorMessage.length > 0 ? qsTr("Retry") : qsTr("Install & Continue →")
                enabled: !screen.install.isRunning
                onClicked: screen.install.start()
            }
            Spinner {
                objectName: "installProgress"
                visible: screen.install.isRunning
                running: visible
            }
            OutlinedButton {
                objectName: "cancelInstallButton"
                visible: screen.install.isRunning
                color: Style.secondaryLabel
                text: qsTr("Cancel")
                onClicked: screen.install.cancel()
            }
        },
        HelpLink {
            Layout.alignment: Qt.AlignHCenter
            onClicked: screen.wizardState.openSetupGuide("setup-install")
        }
    ]
}
