import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// One project folder of a per-project tool: whether it gets an agent, where it
// is and when the tool last worked there.
RowLayout {
    id: row
    property string path
    property string lastUsed
    property bool selected
    signal toggled(bool selected)

    spacing: Style.spacingSmall

    TickBox {
        objectName: "projectCheck"
        checked: row.selected
        Accessible.name: row.path
        onToggled: row.toggled(checked)
    }
    Label {
        objectName: "projectPath"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        elide: Text.ElideMiddle
        text: row.path
        color: Style.label
        font.family: Style.monospaceFamily
        font.pixelSize: Style.captionSize
    }
    Label {
        objectName: "projectLastUsed"
        textFormat: Text.PlainText
        visible: text.length > 0
        text: row.lastUsed
        color: Style.tertiaryLabel
        font.pixelSize: Style.footnoteSize
    }
}
