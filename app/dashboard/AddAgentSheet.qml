import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// The add-agent sheet over the dashboard: the name, the tools found with
// their scope, the security posture, and "Register Agent". It scans each
// time it is shown.
Popup {
    id: sheet
    objectName: "addAgentSheet"
    required property var home
    readonly property var addAgent: home.addAgent

    modal: true
    focus: true
    closePolicy: Popup.NoAutoClose
    x: 0
    y: 0
    width: parent ? parent.width : implicitWidth
    height: parent ? parent.height : implicitHeight
    padding: Style.spacingLarge
    background: Rectangle { color: Style.windowBackground }
    // Controls inside a popup take the popup's palette, not the window's.
    palette.windowText: Style.label
    palette.text: Style.label
    palette.base: Style.cardFill
    palette.button: Style.cardFill
    palette.buttonText: Style.label
    onOpened: if (addAgent) addAgent.scan()

    component SectionTitle: Label {
        textFormat: Text.PlainText
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
        font.bold: true
        Accessible.role: Accessible.Heading
    }
    component Hint: Label {
        textFormat: Text.PlainText
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: Style.spacing
        Accessible.role: Accessible.Dialog
        Accessible.name: qsTr("Add Agent")

        RowLayout {
            Layout.fillWidth: true
            Label {
                textFormat: Text.PlainText
                text: qsTr("Add Agent")
                color: Style.label
                font.pixelSize: Style.titleSize
                font.bold: true
                Layout.fillWidth: true
            }
            OutlinedButton {
                objectName: "cancelAddAgent"
                visible: sheet.addAgent !== null && !sheet.addAgent.registerSuccess
                enabled: sheet.addAgent !== null && !sheet.addAgent.isRegistering
                text: qsTr("Cancel")
                Accessible.name: qsTr("Close the add-agent sheet")
                onClicked: sheet.home.showAddAgent = false
            }
        }

        // Done.
        ColumnLayout {
            visible: sheet.addAgent !== null && sheet.addAgent.registerSuccess
            Layout.fillWidth: true
            spacing: Style.spacing
            Label {
                objectName: "registerSuccessText"
                textFormat: Text.PlainText
                text: qsTr("Your agent is now governing your AI tools.")
                color: Style.label
                font.pixelSize: Style.bodySize
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            HomeActionButton {
                objectName: "addAgentDone"
                title: qsTr("Done")
                onClicked: sheet.home.finishAddAgent()
            }
        }
        // Keeps the message under the title rather than in the middle.
        Item {
            visible: sheet.addAgent !== null && sheet.addAgent.registerSuccess
            Layout.fillHeight: true
        }

        ScrollView {
            id: scroller
            visible: sheet.addAgent !== null && !sheet.addAgent.registerSuccess
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            ScrollBar.vertical: ScrollBarThin {}

            ColumnLayout {
                width: scroller.availableWidth
                spacing: Style.spacing

                SectionTitle { objectName: "nameLabel"; text: sheet.addAgent ? sheet.addAgent.nameLabel : "" }
                TextEntry {
                    objectName: "agentNameField"
                    Layout.fillWidth: true
                    placeholderText: qsTr("agent name")
                    text: sheet.addAgent ? sheet.addAgent.agentName : ""
                    Accessible.name: sheet.addAgent ? sheet.addAgent.nameLabel : ""
                    onTextEdited: sheet.addAgent.agentName = text
                }

                SectionTitle { text: qsTr("AI Tools") }
                Hint { text: qsTr("Select tools to govern. Expand to choose scope.") }
                RowLayout {
                    visible: sheet.addAgent !== null && sheet.addAgent.isScanning
                    Spinner { running: parent.visible }
                    Hint { objectName: "scanningText"; text: qsTr("Scanning for AI tools...") }
                }
                Hint {
                    objectName: "noToolsText"
                    visible: sheet.addAgent !== null && !sheet.addAgent.isScanning && sheet.addAgent.detectedTools.count === 0
                    text: qsTr("No AI tools found on this machine.")
                }
                Repeater {
                    objectName: "toolRows"
                    model: sheet.addAgent && !sheet.addAgent.isScanning ? sheet.addAgent.detectedTools : null
                    delegate: ToolRow {
                        Layout.fillWidth: true
                        tools: sheet.addAgent.detectedTools
                        scopes: sheet.addAgent.scopes
                    }
                }

                SectionTitle { text: qsTr("Security Posture") }
                Repeater {
                    model: sheet.addAgent ? sheet.addAgent.postures : []
                    delegate: ColumnLayout {
                        id: posture
                        required property var modelData
                        Layout.fillWidth: true
                        spacing: 0
                        RadioChoice {
                            id: postureChoice
                            objectName: "posture_" + posture.modelData.value
                            checked: sheet.addAgent.securityPosture === posture.modelData.value
                            text: posture.modelData.label
                                  + (posture.modelData.recommended ? "  · " + qsTr("Recommended") : "")
                            Accessible.name: posture.modelData.label
                            Accessible.description: posture.modelData.description
                            onToggled: if (checked) sheet.addAgent.securityPosture = posture.modelData.value
                        }
                        Hint {
                            text: posture.modelData.description
                            Layout.leftMargin: postureChoice.indicator.width + postureChoice.spacing
                        }
                    }
                }
            }
        }

        ColumnLayout {
            visible: sheet.addAgent !== null && !sheet.addAgent.registerSuccess
            Layout.fillWidth: true
            spacing: Style.spacingSmall
            HomeActionButton {
                objectName: "registerAgentButton"
                title: qsTr("Register Agent")
                enabled: sheet.addAgent !== null && sheet.addAgent.canRegister && !sheet.addAgent.isRegistering
                onClicked: sheet.addAgent.registerAgent()
            }
            RowLayout {
                visible: sheet.addAgent !== null && sheet.addAgent.isRegistering
                Spinner { running: parent.visible }
                Hint { objectName: "registerProgress"; text: sheet.addAgent ? sheet.addAgent.registerProgress : "" }
            }
            Label {
                objectName: "registerError"
                textFormat: Text.PlainText
                visible: sheet.addAgent !== null && sheet.addAgent.registerError !== undefined
                text: visible ? sheet.addAgent.registerError : ""
                color: Style.red
                font.pixelSize: Style.captionSize
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
        }
    }
}
