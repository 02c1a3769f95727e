import QtQuick
import QtQuick.Templates as T
import QtQuick.Layouts
import Quorvane.Style

// The detail page of one pending action: who asks, the command piece by
// piece, the rule section, the time left and the decision buttons. When the
// window is shorter than the page, the upper part scrolls and the time left
// and the buttons stay in view at the bottom.
Item {
    id: page
    objectName: "actionDetailView"

    required property var panel
    readonly property var detail: panel.detail
    readonly property var shown: detail.shown
    readonly property var countdown: detail.countdown

    implicitHeight: flick.contentHeight + flick.anchors.bottomMargin + footer.implicitHeight + footer.anchors.bottomMargin

    Flickable {
        id: flick
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: footer.top
        anchors.bottomMargin: 10
        contentWidth: width
        contentHeight: column.implicitHeight + 8
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        T.ScrollBar.vertical: ScrollBarThin {
            policy: flick.contentHeight > flick.height ? T.ScrollBar.AlwaysOn : T.ScrollBar.AsNeeded
        }

        ColumnLayout {
            id: column
            x: 12
            y: 8
            width: flick.width - 24
            spacing: 10

            PlainButton {
                objectName: "backButton"
                leftPadding: 0
                text: qsTr("Back")
                iconSource: Qt.resolvedUrl("icons/go-previous.svg")
                pixelSize: Style.captionSize
                onClicked: page.panel.back()
            }

            // An agent asking to be unregistered.
            Rectangle {
                objectName: "removalCard"
                visible: page.shown.isUnregister
                Layout.fillWidth: true
                implicitHeight: removal.implicitHeight + 24
                radius: 10
                color: Style.amberTint
                border.width: 1
                border.color: Style.withAlpha(Style.amber, 0.35)
                ColumnLayout {
                    id: removal
                    x: 12
                    y: 12
                    width: parent.width - 24
                    spacing: 6
                    RemovalHeader {
                        pixelSize: Style.calloutSize
                        weight: Font.Black
                    }
                    Text {
                        objectName: "unregisterSentence"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: qsTr("This will permanently unregister the agent and revoke all its permissions.")
                        color: Style.label
                        font.pixelSize: Style.footnoteSize
                        wrapMode: Text.Wrap
                    }
                    Text {
                        objectName: "removalAgentName"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: page.shown.agentName
                        color: Style.label
                        font.pixelSize: Style.calloutSize
                        font.weight: Font.Bold
                        wrapMode: Text.WrapAnywhere
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: page.shown.hasAgentMachine
                        text: page.shown.agentMachine
                        color: Style.secondaryLabel
                        font.pixelSize: Style.footnoteSize
                        wrapMode: Text.WrapAnywhere
                    }
                }
            }

            // Any other tool: the agent and the tool with its command.
            Rectangle {
                objectName: "toolCard"
                visible: !page.shown.isUnregister
                Layout.fillWidth: true
                implicitHeight: tool.implicitHeight + 24
                radius: 10
                color: Style.cardFill
                ColumnLayout {
                    id: tool
                    x: 12
                    y: 12
                    width: parent.width - 24
                    spacing: 4

                    Text {
                        textFormat: Text.PlainText
                        text: qsTr("Agent details:")
                        color: Style.secondaryLabel
                        font.pixelSize: Style.footnoteSize
                    }
                    Text {
                        objectName: "detailAgentName"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: page.shown.agentName
                        color: Style.label
                        font.pixelSize: Style.calloutSize
                        font.weight: Font.Bold
                        wrapMode: Text.WrapAnywhere
                    }
                    Text {
                        objectName: "detailAgentMachine"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: page.shown.hasAgentMachine
                        text: page.shown.agentMachine
                        color: Style.secondaryLabel
                        font.pixelSize: Style.footnoteSize
                        wrapMode: Text.WrapAnywhere
                    }

                    Item { implicitHeight: 6 }

                    Text {
                        textFormat: Text.PlainText
                        text: qsTr("Tool & Command:")
                        color: Style.secondaryLabel
                        font.pixelSize: Style.footnoteSize
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8
                        Text {
                            objectName: "detailTitle"
                            textFormat: Text.PlainText
                            Layout.fillWidth: true
                            text: page.shown.title
                            color: Style.label
                            font.pixelSize: Style.calloutSize
                            font.weight: Font.Bold
                            wrapMode: Text.WrapAnywhere
                        }
                        ClassificationBadge {
                            objectName: "detailBadge"
                            Layout.alignment: Qt.AlignTop
                            Layout.rightMargin: implicitWidth * 0.15
                            Layout.topMargin: 2
                            visible: page.shown.hasBadge
                            text: page.shown.badgeText
                            colorName: page.shown.badgeColorName
                            scale: 1.3
                        }
                    }
                    Rectangle {
                        objectName: "segmentsCard"
                        visible: page.shown.hasSegments
                        Layout.fillWidth: true
                        Layout.topMargin: 4
                        implicitHeight: segments.implicitHeight + 16
                        radius: 8
                        color: Style.cardFill
                        Column {
                            id: segments
                            x: 8
                            y: 8
                            width: parent.width - 16
                            spacing: 3
                            Repeater {
                                model: page.shown.segments
                                CommandSegmentRow {
                                    required property var modelData
                                    width: segments.width
                                    segment: modelData.segment
                                    isRead: modelData.isRead
                                    isHighestRisk: modelData.isHighestRisk
                                    risk: modelData.risk
                                }
                            }
                        }
                    }
                    Text {
                        objectName: "highestRiskText"
                        textFormat: Text.PlainText
                        visible: text !== ""
                        Layout.fillWidth: true
                        text: page.shown.highestRiskText
                        color: Style.secondaryLabel
                        font.pixelSize: Style.footnoteSize
                        wrapMode: Text.Wrap
                    }
                    Text {
                        objectName: "detailSummary"
                        textFormat: Text.PlainText
                        visible: !page.shown.hasSegments
                        Layout.fillWidth: true
                        Layout.topMargin: 2
                        text: page.shown.displaySummary
                        color: Style.label
                        font.family: Style.monospaceFamily
                        font.pixelSize: Style.footnoteSize
                        wrapMode: Text.WrapAnywhere
                    }
                }
            }

            RuleSection {
                visible: page.shown.showsRuleSection
                Layout.fillWidth: true
                rule: page.detail.rule
            }
        }
    }

    ColumnLayout {
        id: footer
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.bottomMargin: 12
        spacing: 10

        Text {
            objectName: "countdownText"
            textFormat: Text.PlainText
            text: page.countdown.text
            color: Style[page.countdown.colorName] !== undefined ? Style[page.countdown.colorName]
                                                                       : Style.red
            font.pixelSize: Style.captionSize
            font.weight: Font.DemiBold
        }

        Text {
            objectName: "expiredText"
            textFormat: Text.PlainText
            visible: !page.countdown.showsButtons
            text: qsTr("This action has expired")
            color: Style.tertiaryLabel
            font.pixelSize: Style.captionSize
        }

        DecisionButtons {
            visible: page.countdown.showsButtons
            Layout.fillWidth: true
            objectNamePrefix: "detail_"
            approveLabel: page.shown.approveLabel
            denyLabel: page.shown.denyLabel
            approveColorName: page.shown.approveColorName
            denyColorName: page.shown.denyColorName
            responding: page.detail.isResponding
            spokenSummary: page.countdown.spokenSummary
            onApproveClicked: page.detail.approve()
            onDenyClicked: page.detail.deny()
        }

        DecisionStatusLine {
            Layout.fillWidth: true
            objectNamePrefix: "detail_"
            text: page.panel.selectedDecisionStatus
            failed: page.panel.selectedDecisionFailed
            onRetryClicked: page.panel.retry(page.shown.id)
        }
    }
}
