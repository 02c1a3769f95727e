import QtQuick
import Quorvane.Style

// The mark of one installation step, by its status kind (DependencyStatus.Kind:
// 0 missing, 1 downloading, 2 installing, 3 awaiting approval, 4 installed,
// 5 failed, 6 skipped).
Item {
    id: icon
    property int kind: 0
    readonly property var glyphs: ["", "↓", "", "!", "✓", "✕", "−"]
    readonly property var colours: [Style.tertiaryLabel, Style.teal, Style.secondaryLabel, Style.amber, Style.green,
        Style.red, Style.secondaryLabel]
    readonly property bool filled: kind === 4 || kind === 5
    readonly property color colour: colours[kind] ?? Style.tertiaryLabel

    implicitWidth: 16
    implicitHeight: 16

    // missing: a small grey dot.
    Rectangle {
        objectName: "missingDot"
        visible: icon.kind === 0
        anchors.centerIn: parent
        width: 8
        height: 8
        radius: 4
        color: icon.colour
    }
    // installing: a turning arc.
    Spinner {
        objectName: "installingSpinner"
        visible: icon.kind === 2
        running: visible
        anchors.centerIn: parent
    }
    // The circled symbols: arrow down, exclamation mark, check mark (filled),
    // cross (filled), minus.
    Rectangle {
        objectName: "statusSymbol"
        visible: icon.glyphs[icon.kind] !== undefined && icon.glyphs[icon.kind] !== ""
        anchors.fill: parent
        radius: width / 2
        color: icon.filled ? icon.colour : "transparent"
        border.width: icon.filled ? 0 : 1.5
        border.color: icon.colour

        Text {
            textFormat: Text.PlainText
            anchors.centerIn: parent
            text: icon.glyphs[icon.kind] ?? ""
            color: icon.filled ? Style.windowBackground : icon.colour
            font.pixelSize: Style.footnoteSize
            font.bold: true
        }
    }
}
