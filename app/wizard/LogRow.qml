import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// One line of the set-up log by its LogStyle: done ("✓", green), active ("⟳",
// teal), pending ("○", grey), each before the text; a section header is a grey
// monospaced title, with room above it except for the log's first.
RowLayout {
    id: row
    property string text
    property bool first
    property int logStyle: LogStyles.LogStyle.pending
    readonly property bool isHeader: logStyle === LogStyles.LogStyle.sectionHeader
    // By LogStyle: done, active, pending.
    readonly property var marks: ["✓", "⟳", "○"]
    readonly property var markColours: [Style.green, Style.teal, Style.secondaryLabel]

    spacing: Style.spacingSmall
    Layout.topMargin: isHeader && !first ? Style.spacingSmall : 0
    Accessible.role: Accessible.StaticText
    Accessible.name: text

    Label {
        objectName: "logMark"
        textFormat: Text.PlainText
        visible: !row.isHeader
        Layout.preferredWidth: Style.captionSize
        text: row.marks[row.logStyle] ?? ""
        color: row.markColours[row.logStyle] ?? Style.secondaryLabel
        font.family: Style.monospaceFamily
        font.pixelSize: Style.captionSize
    }
    Label {
        objectName: "logText"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        text: row.text
        color: row.isHeader ? Style.secondaryLabel : Style.label
        font.family: Style.monospaceFamily
        font.pixelSize: row.isHeader ? Style.footnoteSize : Style.captionSize
    }
}
