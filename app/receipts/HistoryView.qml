import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Receipts

// "History": every decision this machine sent, newest first, with filters by
// agent and decision, a search, and a check of each receipt's signature.
Rectangle {
    id: root
    objectName: "historyView"

    property ReceiptHistoryModel history
    // Where the view is shown over another page: "Back" in its title row.
    property bool canGoBack: false
    signal backRequested()

    readonly property var decisionValues: ["", "approved", "denied", "trust_window"]
    readonly property var agentValues: history ? [""].concat(history.agents) : [""]

    onHistoryChanged: if (history) history.reload()

    color: Style.windowBackground
    implicitWidth: 540
    implicitHeight: 620

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Style.spacing
        spacing: Style.spacingSmall

        RowLayout {
            Layout.fillWidth: true
            spacing: Style.spacingSmall
            Label {
                objectName: "historyTitle"
                Layout.fillWidth: true
                textFormat: Text.PlainText
                text: qsTr("History")
                color: Style.label
                font.pixelSize: Style.pageTitleSize
                font.bold: true
            }
            OutlinedButton {
                objectName: "historyBackButton"
                visible: root.canGoBack
                text: qsTr("Back")
                Accessible.name: qsTr("Back to the dashboard")
                onClicked: root.backRequested()
            }
        }

        TextEntry {
            objectName: "historySearch"
            Layout.fillWidth: true
            placeholderText: qsTr("Search commands, agents, tools")
            Accessible.name: qsTr("Search the history")
            onTextChanged: root.history.searchText = text
        }

        SegmentedControl {
            objectName: "decisionFilter"
            model: [qsTr("All"), qsTr("Approved"), qsTr("Denied"), qsTr("Trust window")]
            currentIndex: root.decisionValues.indexOf(root.history ? root.history.decisionFilter : "")
            onActivated: function(index) { root.history.decisionFilter = root.decisionValues[index] }
        }

        SegmentedControl {
            objectName: "agentFilter"
            visible: root.agentValues.length > 2
            model: [qsTr("All agents")].concat(root.history ? root.history.agentLabels : [])
            currentIndex: root.agentValues.indexOf(root.history ? root.history.agentFilter : "")
            onActivated: function(index) { root.history.agentFilter = root.agentValues[index] }
        }

        Repeater {
            model: root.history ? root.history.writeFailures : []
            delegate: Label {
                objectName: "receiptWriteFailure"
                required property string modelData
                Layout.fillWidth: true
                text: modelData
                color: Style.amber
                font.pixelSize: Style.captionSize
                wrapMode: Text.Wrap
                maximumLineCount: 3
                elide: Text.ElideRight
            }
        }

        Label {
            objectName: "noReceiptsLabel"
            textFormat: Text.PlainText
            visible: root.history !== null && root.history.count === 0
            text: qsTr("No decisions match.")
            color: Style.secondaryLabel
            font.pixelSize: Style.bodySize
        }

        // Keeps the filters and the note at the top while the list is empty.
        Item {
            visible: !list.visible
            Layout.fillHeight: true
        }

        ListView {
            id: list
            objectName: "receiptList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: count > 0
            clip: true
            spacing: 6
            model: root.history
            delegate: Rectangle {
                id: card
                objectName: "receiptRow"
                required property int index
                required property string time
                required property string agent
                required property string tool
                required property string summary
                required property string decision
                required property string decisionText
                required property string scope
                required property string statusText
                required property string verification
                required property string localTime
                required property string outcomeText
                required property string outcomeColorName
                required property string requestedText
                required property string settledText

                width: ListView.view.width
                implicitHeight: rowColumn.implicitHeight + 16
                radius: 8
                color: Style.cardFill

                ColumnLayout {
                    id: rowColumn
                    x: 10
                    y: 8
                    width: card.width - 20
                    spacing: 3
                    RowLayout {
                        Layout.fillWidth: true
                        // What the back-end made of it comes first.
                        Label {
                            objectName: "receiptDecision"
                            Layout.fillWidth: true
                            text: card.outcomeText + (card.scope !== "" ? qsTr(" · rule: %1").arg(card.scope) : "")
                            textFormat: Text.PlainText
                            color: Style[card.outcomeColorName]
                            font.pixelSize: Style.captionSize
                            font.bold: true
                            wrapMode: Text.Wrap
                        }
                        Label {
                            objectName: "receiptTime"
                            text: card.localTime
                            textFormat: Text.PlainText
                            color: Style.tertiaryLabel
                            font.pixelSize: Style.footnoteSize
                        }
                    }
                    Label {
                        objectName: "receiptRequested"
                        visible: text !== ""
                        Layout.fillWidth: true
                        text: [card.requestedText, card.settledText].filter(function(part) { return part !== "" }).join(" · ")
                        textFormat: Text.PlainText
                        color: Style.secondaryLabel
                        font.pixelSize: Style.footnoteSize
                        wrapMode: Text.Wrap
                    }
                    Label {
                        objectName: "receiptSummary"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: card.summary
                        color: Style.label
                        font.family: Style.monospaceFamily
                        font.pixelSize: Style.footnoteSize
                        wrapMode: Text.WrapAnywhere
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        Label {
                            textFormat: Text.PlainText
                            text: [card.agent, card.tool, card.statusText]
                                  .filter(function(part) { return part !== "" }).join(" · ")
                            color: Style.secondaryLabel
                            font.pixelSize: Style.footnoteSize
                        }
                        Item { Layout.fillWidth: true }
                        Label {
                            objectName: "receiptVerification"
                            textFormat: Text.PlainText
                            visible: card.verification !== ""
                            text: card.verification === "verified" ? qsTr("✓ signature verified") : "✗ " + card.verification
                            color: card.verification === "verified" ? Style.green : Style.red
                            font.pixelSize: Style.footnoteSize
                        }
                        OutlinedButton {
                            objectName: "verifyButton"
                            visible: card.verification === ""
                            text: qsTr("Check signature")
                            font.pixelSize: Style.footnoteSize
                            topPadding: 2
                            bottomPadding: 2
                            Accessible.name: qsTr("Check the signature of: %1").arg(card.summary)
                            onClicked: root.history.verify(card.index)
                        }
                    }
                }
            }
        }
    }
}
