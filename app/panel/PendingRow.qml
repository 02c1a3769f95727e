import QtQuick
import QtQuick.Layouts
import Quorvane.Style

// One pending action in the list: who asks, what, why, and the decision
// buttons. Every value comes from the model's roles; presses go to the panel.
Item {
    id: row
    objectName: "pendingRow"

    required property var panel
    required property string actionId
    required property string displayName
    required property bool hasBadge
    required property string badgeText
    required property string badgeColorName
    required property bool isUnregister
    required property string agentName
    required property string agentMachine
    required property bool hasAgentMachine
    required property string explanation
    required property var explanationLines
    required property string explanationMode
    required property bool isResponding
    required property string approveLabel
    required property string denyLabel
    required property string approveColorName
    required property string denyColorName
    required property string spokenSummary
    required property string decisionStatus
    required property bool decisionFailed

    readonly property bool highlighted: panel.highlightedActionId === actionId

    implicitHeight: card.implicitHeight + 8

    Rectangle {
        id: card
        x: 10
        y: 4
        width: row.width - 20
        implicitHeight: column.implicitHeight + 20
        height: implicitHeight
        radius: 10
        color: row.isUnregister ? Style.amberTint : Style.cardFill
        // The keyboard's place in the list is ringed.
        border.width: row.highlighted ? 2 : (row.isUnregister ? 1 : 0)
        border.color: row.highlighted ? Style.accent : Style.withAlpha(Style.amber, 0.35)

        ColumnLayout {
            id: column
            x: 10
            y: 10
            width: card.width - 20
            spacing: 7

            RemovalHeader {
                visible: row.isUnregister
            }

            // The agent that asks: under the removal header, the agent to be removed.
            RowLayout {
                objectName: "agentHeader"
                Layout.fillWidth: true
                spacing: 7

                Image {
                    Layout.alignment: Qt.AlignTop
                    Layout.topMargin: 1
                    visible: !row.isUnregister
                    source: Qt.resolvedUrl("icons/cpu.svg")
                    sourceSize.width: 15
                    sourceSize.height: 15
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 1
                    Text {
                        objectName: "agentName"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: row.agentName
                        color: Style.label
                        font.pixelSize: Style.captionSize
                        font.weight: Font.DemiBold
                        elide: Text.ElideRight
                    }
                    Text {
                        objectName: "agentMachine"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: row.hasAgentMachine
                        text: row.agentMachine
                        color: Style.secondaryLabel
                        font.pixelSize: Style.footnoteSize
                        elide: Text.ElideRight
                    }
                }
                ClassificationBadge {
                    Layout.alignment: Qt.AlignTop
                    visible: row.hasBadge && !row.isUnregister
                    text: row.badgeText
                    colorName: row.badgeColorName
                }
            }

            Text {
                objectName: "rowTitle"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                visible: !row.isUnregister
                text: row.displayName
                color: Style.label
                font.pixelSize: Style.calloutSize
                wrapMode: Text.Wrap
                maximumLineCount: 4
                elide: Text.ElideRight
            }

            Text {
                objectName: "explanationCaption"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                visible: row.explanationMode === "caption"
                text: row.explanation
                color: Style.secondaryLabel
                font.pixelSize: Style.footnoteSize
                wrapMode: Text.Wrap
            }

            PlainButton {
                objectName: "explainButton"
                visible: row.explanationMode === "button"
                leftPadding: 0
                text: qsTr("Explain this request")
                iconSource: Qt.resolvedUrl("icons/dialog-information.svg")
                pixelSize: Style.footnoteSize
                onClicked: row.panel.showExplanation(row.actionId)
            }

            RowLayout {
                objectName: "generatingExplanation"
                visible: row.explanationMode === "generating"
                spacing: 6
                Spinner {
                    Layout.preferredWidth: 14
                    Layout.preferredHeight: 14
                    running: parent.visible
                }
                Text {
                    textFormat: Text.PlainText
                    text: qsTr("Generating explanation...")
                    color: Style.secondaryLabel
                    font.pixelSize: Style.footnoteSize
                }
            }

            Text {
                objectName: "explanationUnavailable"
                Layout.fillWidth: true
                visible: row.explanationMode === "unavailable"
                text: qsTr("No explanation came for this request. Read the command before deciding.")
                textFormat: Text.PlainText
                color: Style.secondaryLabel
                font.pixelSize: Style.footnoteSize
                wrapMode: Text.Wrap
            }

            Rectangle {
                objectName: "explanationLines"
                Layout.fillWidth: true
                visible: row.explanationMode === "lines"
                implicitHeight: lines.implicitHeight + 20
                radius: 7
                color: Style.fieldFill
                Column {
                    id: lines
                    x: 10
                    y: 10
                    width: parent.width - 20
                    spacing: 2
                    Repeater {
                        model: row.explanationMode === "lines" ? row.explanationLines : []
                        Text {
                            textFormat: Text.PlainText
                            required property string modelData
                            width: lines.width
                            text: modelData
                            color: Style.secondaryLabel
                            font.pixelSize: Style.footnoteSize
                            wrapMode: Text.Wrap
                        }
                    }
                }
            }

            DecisionButtons {
                Layout.fillWidth: true
                Layout.topMargin: 2
                approveLabel: row.approveLabel
                denyLabel: row.denyLabel
                approveColorName: row.approveColorName
                denyColorName: row.denyColorName
                responding: row.isResponding
                spokenSummary: row.spokenSummary
                onApproveClicked: row.panel.approve(row.actionId)
                onDenyClicked: row.panel.deny(row.actionId)
            }

            DecisionStatusLine {
                Layout.fillWidth: true
                text: row.decisionStatus
                failed: row.decisionFailed
                onRetryClicked: row.panel.retry(row.actionId)
            }

            PlainButton {
                id: moreDetails
                objectName: "moreDetailsButton"
                Layout.fillWidth: true
                visible: !row.isUnregister
                leftPadding: 0
                rightPadding: 0
                onClicked: row.panel.showDetail(row.actionId)
                Accessible.name: qsTr("More details: %1").arg(row.spokenSummary)
                contentItem: RowLayout {
                    spacing: 4
                    Image {
                        source: Qt.resolvedUrl("icons/shield-check.svg")
                        sourceSize.width: 12
                        sourceSize.height: 12
                    }
                    Text {
                        textFormat: Text.PlainText
                        text: qsTr("Bypass escalations")
                        color: Style.secondaryLabel
                        font.pixelSize: Style.footnoteSize
                        font.weight: Font.Medium
                    }
                    Item { Layout.fillWidth: true }
                    Text {
                        objectName: "moreDetailsText"
                        textFormat: Text.PlainText
                        text: qsTr("More details")
                        color: Style.teal
                        font.pixelSize: Style.footnoteSize
                        font.weight: Font.Medium
                    }
                    Image {
                        source: Qt.resolvedUrl("icons/go-next.svg")
                        sourceSize.width: 9
                        sourceSize.height: 9
                    }
                }
            }
        }
    }
}
