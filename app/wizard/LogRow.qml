import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// One line of the set-up log. `logStyle` as the model's LogStyle: 0 done
// ("✓", green), 1 active ("⟳", teal), 2 pending ("○", grey), 3 section header
// (grey monospaced title, with room above it except for "AGENTS").
RowLayout {
    id: row
    property string text
    property int logStyle: 2
    readonly property bool isHeader: logStyle === 3
    readonly property var marks: ["✓", "⟳", "○"]
    readonly property var markColours: [Style.green, Style.teal, Style.secondaryLabel]

    spacing: Style.spacingSmall
    Layout.topMargin: isHeader && text !== "AGENTS" ? Style.spacingSmall : 0
    Accessible.role: Accessible.StaticText
    Accessible.name: text

    Label {
        objectName: "logMark"
        visible: !row.isHeader
        Layout.preferredWidth: Style.captionSize
        text: row.marks[row.logStyle] ?? ""
        color: row.markColours[row.logStyle] ?? Style.secondaryLabel
        font.family: Style.monospaceFamily
        font.pixelSize: Style.captionSize
    }
    Label {
        objectName: "logText"
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        text: row.text
        color: row.isHeader ? Style.secondaryLabel : Style.label
        font.family: Style.monospaceFamily
        font.pixelSize: row.isHeader ? Style.footnoteSize : Style.captionSize
    }
}
