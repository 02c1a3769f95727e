import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// One installation step: its mark, its name, and how far it got.
RowLayout {
    id: row
    property string text
    property dependencyStatus status

    spacing: Style.spacingSmall

    StatusIcon {
        objectName: "statusIcon"
        kind: row.status.kind
    }
    Label {
        objectName: "statusText"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        text: row.text
        color: Style.label
        font.pixelSize: Style.captionSize
    }
    Label {
        objectName: "statusDetail"
        textFormat: Text.PlainText
        Layout.maximumWidth: row.width / 2
        elide: Text.ElideRight
        // downloading: the percentage; failed: why.
        visible: text.length > 0
        text: row.status.kind === 1 ? row.status.percentText
                                    : (row.status.kind === 5 ? row.status.message : "")
        color: row.status.kind === 5 ? Style.red : Style.secondaryLabel
        font.pixelSize: Style.captionSize
    }
}
