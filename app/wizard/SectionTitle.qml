import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// A section's title and the line that explains it.
ColumnLayout {
    property string title
    property string text
    spacing: Style.spacingTight

    Label {
        textFormat: Text.PlainText
        text: parent.title
        color: Style.label
        font.pixelSize: Style.headlineSize
        font.weight: Font.DemiBold
    }
    Label {
        textFormat: Text.PlainText
        Layout.fillWidth: true
        wrapMode: Text.WordWrap
        text: parent.text
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
    }
}
