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
    title: qsTr("You're all set!")
    subtitle: wizardState.isApproverOnly ? qsTr("Ready to approve requests from your other machines.")
                                   : qsTr("Quorvane is protecting your AI tools.")
    defaultButton: closeButton

    // "Close" asks first while the analysis waits for the model or runs.
    function close() {
        if (wizardState.closeAlertTitle.length > 0)
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
                visible: screen.wizardState.signedInEmail.length > 0
                dotColor: Style.teal
                text: qsTr("Signed in as ") + screen.wizardState.shownEmail
            }
            SummaryRow {
                objectName: "approverRow"
                Layout.fillWidth: true
                visible: screen.wizardState.isApproverOnly
                text: qsTr("Approval device — no local agents")
            }
            Repeater {
                model: screen.wizardState.isApproverOnly ? [] : screen.wizardState.registeredAgents
                SummaryRow {
                    required property var model
                    objectName: "agentRow"
                    Layout.fillWidth: true
                    text: model.toolName + " — " + model.scope + " agent \"" + model.name + "\""
                }
            }
            SummaryRow {
                objectName: "templateRow"
                Layout.fillWidth: true
                visible: screen.wizardState.templateRuleCount >= 1
                dotColor: Style.teal
                text: qsTr("%1 template (%2 rules)")
                          .arg(screen.wizardState.securityPostureChoices()[screen.wizardState.securityPosture].label)
                          .arg(screen.wizardState.templateRuleCount)
            }
            SummaryRow {
                objectName: "modelRow"
                Layout.fillWidth: true
                visible: screen.wizardState.installLLM
                dotColor: screen.wizardState.llmDownloadComplete ? Style.green
                                                           : (screen.wizardState.llmDownloading ? Style.amber : Style.red)
                text: screen.wizardState.llmDownloadComplete
                      ? qsTr("Gemma 4 installed")
                      : (screen.wizardState.llmDownloading
                         ? qsTr("Gemma 4 downloading... ") + screen.wizardState.percentText(screen.wizardState.llmDownloadProgress)
                         : qsTr("Gemma 4 download failed"))
            }
            SummaryRow {
                objectName: "analysisRow"
                Layout.fillWidth: true
                visible: text.length > 0
                dotColor: screen.wizardState.analysisError.length > 0 ? Style.red : Style.teal
                text: screen.wizardState.analysisStatusLine
                note: screen.wizardState.analysisShowsReviewNote
                      ? qsTr("Review suggestions in the ") + "<font color=\"%1\">%2</font>".arg(Style.teal)
                                                                  .arg(qsTr("web dashboard"))
                      : ""
            }
        }
    }

    InfoBox {
        objectName: "backgroundDownloadBox"
        Layout.fillWidth: true
        visible: screen.wizardState.llmDownloading
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
        title: screen.wizardState.closeAlertTitle
        message: screen.wizardState.closeAlertMessage
        keepRunningLabel: screen.wizardState.keepRunningLabel
        stopAndCloseLabel: screen.wizardState.stopAndCloseLabel
        onStopAndClose: screen.wizardState.closeWizard()
    }
}
