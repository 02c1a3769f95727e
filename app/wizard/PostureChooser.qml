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

    ComboBox {
        id: box
        objectName: "postureBox"
        Layout.fillWidth: true
        model: chooser.choices
        currentIndex: chooser.currentIndex
        displayText: currentIndex >= 0 ? chooser.labelOf(chooser.choices[currentIndex]) : ""
        Accessible.name: qsTr("Security posture: %1").arg(displayText)
        onActivated: index => chooser.activated(index)
        delegate: ItemDelegate {
            required property var modelData
            required property int index
            objectName: "postureChoice" + index
            width: box.width
            text: chooser.labelOf(modelData)
            highlighted: box.highlightedIndex === index
        }
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
