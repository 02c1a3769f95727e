import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// The baseline posture: a drop-down of the postures ("Recommended" beside the
// recommended one) and the description of the chosen one.
ColumnLayout {
    id: chooser
    property var choices: []
    property int currentIndex: 0
    signal activated(int index)

    function labelOf(choice) {
        return choice.recommended ? qsTr("%1  ·  Recommended").arg(choice.label) : choice.label
    }

    spacing: Style.spacingSmall

    DropDown {
        objectName: "postureBox"
        Layout.fillWidth: true
        model: chooser.choices.map(chooser.labelOf)
        currentIndex: chooser.currentIndex
        Accessible.name: qsTr("Security posture: %1").arg(displayText)
        onActivated: index => chooser.activated(index)
    }
    Label {
        objectName: "postureDescription"
        textFormat: Text.PlainText
        Layout.fillWidth: true
        wrapMode: Text.WordWrap
        text: chooser.currentIndex >= 0 && chooser.currentIndex < chooser.choices.length
              ? chooser.choices[chooser.currentIndex].description : ""
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
    }
}
