import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The last screen: what was set up, the model and the activity analysis, and
// "Close", which asks first while the analysis waits or runs.
WizardPage {
    id: screen
    objectName: "doneScreen"
    required property WizardState wizardState
    readonly property InstallPhase install: wizardState.install
    readonly property ModelDownload download: wizardState.install.modelDownload
    readonly property ActivityAnalysis analysis: wizardState.analysis
    title: qsTr("You're all set!")
    subtitle: install.approverOnly ? qsTr("Ready to approve requests from your other machines.")
                                   : qsTr("Quorvane is protecting your AI tools.")
    defaultButton: closeButton

    // "Close" asks first while the analysis waits for the model or runs.
    function close() {
        if (analysis.closeAlertTitle.length > 0)
            confirmation.open()
        else
            wizardState.closeWizard()
    }

    Card {
        objectName: "summary"
        Layout.fillWidth: true
        implicitHeight: rows.implicitHeight + 2 * Style.spacing

        ColumnLayout {
            id: rows
            anchors.fill: parent
            anchors.margins: Style.spacing
            spacing: Style.spacingSmall

            SummaryRow {
                objectName: "emailRow"
                Layout.fillWidth: true
                visible: screen.wizardState.account.email.length > 0
                dotColor: Style.teal
                text: qsTr("Signed in as ") + screen.wizardState.account.shownEmail
            }
            SummaryRow {
                objectName: "approverRow"
                Layout.fillWidth: true
                visible: screen.install.approverOnly
                text: qsTr("Approval device — no local agents")
            }
            Repeater {
                model: screen.install.approverOnly ? [] : screen.wizardState.setup.registeredAgents
                SummaryRow {
                    required property var model
                    objectName: "agentRow"
                    Layout.fillWidth: true
                    text: qsTr("%1 — %2 agent \"%3\"").arg(model.toolName).arg(model.scope).arg(model.name)
                }
            }
            SummaryRow {
                objectName: "templateRow"
                Layout.fillWidth: true
                visible: screen.wizardState.setup.templateRuleCount >= 1
                dotColor: Style.teal
                text: qsTr("%1 template (%2 rules)")
                          .arg(screen.wizardState.configuration.securityPostureChoices()[screen.wizardState.configuration.securityPosture].label)
                          .arg(screen.wizardState.setup.templateRuleCount)
            }
            SummaryRow {
                objectName: "modelRow"
                Layout.fillWidth: true
                visible: screen.install.installLLM
                dotColor: screen.download.llmDownloadComplete ? Style.green
                                                           : (screen.download.llmDownloading ? Style.amber : Style.red)
                text: screen.download.llmDownloadComplete
                      ? qsTr("Gemma 4 installed")
                      : (screen.download.llmDownloading
                         ? qsTr("Gemma 4 downloading... ") + screen.download.progressText
                         : qsTr("Gemma 4 download failed"))
            }
            SummaryRow {
                objectName: "analysisRow"
                Layout.fillWidth: true
                visible: text.length > 0
                dotColor: screen.analysis.error.length > 0 ? Style.red : Style.teal
                text: screen.analysis.statusLine
                note: screen.analysis.showsReviewNote
                      ? qsTr("Review suggestions in the ") + "<font color=\"%1\">%2</font>".arg(Style.teal)
                                                                  .arg(qsTr("web dashboard"))
                      : ""
            }
        }
    }

    InfoBox {
        objectName: "backgroundDownloadBox"
        Layout.fillWidth: true
        visible: screen.download.llmDownloading
        title: qsTr("Download continues in the background")
        text: qsTr("You can close this window. Open Quorvane later to run the activity scan.")
    }

    Label {
        objectName: "approveFromText"
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        textFormat: Text.StyledText
        text: qsTr("Approve actions from this computer (password or fingerprint) or the ")
              + "<font color=\"%1\">%2</font>".arg(Style.teal).arg(qsTr("Quorvane iOS app"))
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
    }

    footer: FilledButton {
        id: closeButton
        objectName: "closeButton"
        Layout.alignment: Qt.AlignHCenter
        text: qsTr("Close")
        onClicked: screen.close()
    }

    CloseConfirmation {
        id: confirmation
        parent: Overlay.overlay
        palette: screen.palette
        title: screen.analysis.closeAlertTitle
        message: screen.analysis.closeAlertMessage
        keepRunningLabel: screen.analysis.keepRunningLabel
        stopAndCloseLabel: screen.analysis.stopAndCloseLabel
        onStopAndClose: screen.wizardState.closeWizard()
    }
}
