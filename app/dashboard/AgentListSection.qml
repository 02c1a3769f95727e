import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// The "Agents" card: one row per agent with its scope and "Remove" (or
// "Awaiting approval..." while that agent's removal waits), the last removal
// failure, and "Add Agent".
SectionCard {
    id: section
    objectName: "agentsCard"
    title: qsTr("Agents")
    required property var home
    // The row whose "Remove" was pressed.
    signal removeRequested(string name)

    Label {
        objectName: "noAgentsLabel"
        textFormat: Text.PlainText
        visible: section.home.agents.count === 0
        text: qsTr("Add an agent to start governing your AI tools.")
        color: Style.secondaryLabel
        font.pixelSize: Style.bodySize
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    Repeater {
        objectName: "agentList"
        model: section.home.agents
        delegate: RowLayout {
            id: row
            required property string name
            required property string shownName
            required property string scopeLabel
            readonly property bool removing: section.home.removingAgentName === name
            objectName: "agentRow_" + name
            // The card's inner width: a Repeater's rows do not stretch by themselves.
            Layout.preferredWidth: section.width - 2 * Style.spacing
            spacing: Style.spacingSmall

            ColumnLayout {
                spacing: Style.spacingTight
                Label { textFormat: Text.PlainText; text: row.shownName; color: Style.label; font.pixelSize: Style.bodySize; font.bold: true }
                Label { textFormat: Text.PlainText; text: row.scopeLabel; color: Style.secondaryLabel; font.pixelSize: Style.captionSize }
            }
            Item { Layout.fillWidth: true }
            Spinner { visible: row.removing; running: row.removing }
            Label {
                objectName: "awaitingApproval"
                textFormat: Text.PlainText
                visible: row.removing
                text: qsTr("Awaiting approval...")
                color: Style.secondaryLabel
                font.pixelSize: Style.captionSize
            }
            OutlinedButton {
                objectName: "removeButton"
                visible: !row.removing
                text: qsTr("Remove")
                color: Style.red
                Accessible.name: qsTr("Remove %1").arg(row.shownName)
                onClicked: section.removeRequested(row.name)
            }
        }
    }
    Label {
        objectName: "removalError"
        textFormat: Text.PlainText
        visible: section.home.removalError !== undefined
        text: visible ? section.home.removalError : ""
        color: Style.red
        font.pixelSize: Style.captionSize
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    HomeActionButton {
        objectName: "addAgentButton"
        title: qsTr("Add Agent")
        onClicked: section.home.showAddAgent = true
    }
}
