import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// One detected tool in the add-agent sheet: its name, descriptor and switch;
// expanded, its scope and, per project, its folders to choose from. (The
// tool's "enabled" is read through `model`: an item's own enabled would
// switch the row off with it.)
ColumnLayout {
    id: row
    required property int index
    required property var model
    required property string name
    required property string subtitle
    required property int scope
    required property bool expanded
    required property var projects
    property var tools
    property var scopes: []
    objectName: "toolRow_" + name
    spacing: Style.spacingSmall

    RowLayout {
        Layout.fillWidth: true
        DisclosureButton {
            objectName: "expandTool"
            expanded: row.expanded
            Accessible.name: qsTr("Choose the scope of %1").arg(row.name)
            onClicked: row.model.expanded = !row.expanded
        }
        ColumnLayout {
            spacing: Style.spacingTight
            Label { textFormat: Text.PlainText; text: row.name; color: Style.label; font.pixelSize: Style.bodySize; font.bold: true }
            Label { textFormat: Text.PlainText; text: row.subtitle; color: Style.secondaryLabel; font.pixelSize: Style.captionSize }
        }
        Item { Layout.fillWidth: true }
        Label {
            textFormat: Text.PlainText
            text: qsTr("Detected")
            color: Style.green
            font.pixelSize: Style.captionSize
        }
        ToggleSwitch {
            objectName: "toolSwitch"
            checked: row.model.enabled
            Accessible.name: qsTr("Govern %1").arg(row.name)
            onToggled: row.model.enabled = checked
        }
    }

    Repeater {
        model: row.expanded ? row.scopes : []
        delegate: RadioChoice {
            required property var modelData
            objectName: "scope_" + modelData.value
            Layout.leftMargin: Style.spacingLarge
            checked: row.scope === modelData.value
            text: modelData.label + "  " + modelData.subLabel
            Accessible.name: modelData.label
            onToggled: if (checked) row.model.scope = modelData.value
        }
    }

    Repeater {
        // 1: ScopeChoice::perProject.
        model: row.expanded && row.scope === 1 ? row.projects : []
        delegate: TickBox {
            required property var modelData
            required property int index
            Layout.leftMargin: 2 * Style.spacingLarge
            Layout.fillWidth: true
            checked: modelData.selected
            text: modelData.path + "  " + modelData.lastUsed + (modelData.isActive ? "" : "  " + qsTr("inactive"))
            Accessible.name: modelData.path
            onToggled: row.tools.setProjectSelected(row.index, index, checked)
        }
    }
}
