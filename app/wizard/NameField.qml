import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// The agent name: title and caption, the field, and the error under it (the
// field's border turns red with it).
ColumnLayout {
    id: name
    property string title
    property string caption
    property string value
    property string error
    property alias field: input
    signal edited(string text)

    spacing: Style.spacingTight

    Label {
        objectName: "nameTitle"
        textFormat: Text.PlainText
        text: name.title
        color: Style.label
        font.pixelSize: Style.bodySize
        font.weight: Font.DemiBold
    }
    Label {
        objectName: "nameCaption"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        wrapMode: Text.WordWrap
        text: name.caption
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
    }
    TextEntry {
        id: input
        objectName: "agentNameField"
        Layout.fillWidth: true
        text: name.value
        placeholderText: qsTr("agent name")
        invalid: name.error.length > 0
        maximumLength: 256
        Accessible.name: name.title
        Accessible.description: name.error.length > 0 ? name.error : name.caption
        onTextEdited: name.edited(text)
    }
    Label {
        objectName: "agentNameError"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        wrapMode: Text.WordWrap
        visible: text.length > 0
        text: name.error
        color: Style.red
        font.pixelSize: Style.captionSize
    }
}
