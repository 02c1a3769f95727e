import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// A switch with its title, an optional grey tag after the title, and the
// lines that explain it. `toggled(checked)` reports the person's change; keep
// `checked` bound to the model.
ColumnLayout {
    id: option
    // Styled text: our own words only, never text from outside.
    property string title
    property string tag
    property var lines: []
    property bool checked
    property alias switchItem: toggle
    signal toggled(bool checked)

    spacing: Style.spacingTight

    RowLayout {
        Layout.fillWidth: true
        spacing: Style.spacingSmall

        Label {
            Layout.fillWidth: true
            textFormat: Text.StyledText
            wrapMode: Text.WordWrap
            text: option.tag.length > 0
                  ? "<b>%1</b> <font color=\"%2\">%3</font>".arg(option.title).arg(Style.secondaryLabel).arg(option.tag)
                  : "<b>%1</b>".arg(option.title)
            color: Style.label
            font.pixelSize: Style.bodySize
        }
        ToggleSwitch {
            id: toggle
            Layout.alignment: Qt.AlignTop
            objectName: option.objectName + "Switch"
            checked: option.checked
            Accessible.name: option.tag.length > 0 ? option.title + " " + option.tag : option.title
            onToggled: option.toggled(checked)
        }
    }
    Repeater {
        model: option.lines
        Label {
            textFormat: Text.PlainText
            required property string modelData
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: modelData
            color: Style.secondaryLabel
            font.pixelSize: Style.captionSize
        }
    }
}
