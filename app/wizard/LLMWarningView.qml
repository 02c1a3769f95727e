import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// What is missing without the local model.
Rectangle {
    id: warning
    objectName: "llmWarning"
    implicitHeight: lines.implicitHeight + 2 * Style.spacingSmall
    radius: Style.cornerRadius
    color: Style.amberTint

    ColumnLayout {
        id: lines
        anchors.fill: parent
        anchors.margins: Style.spacingSmall
        spacing: Style.spacingTight

        Repeater {
            model: [qsTr("Without Gemma 4, these features won't be available:"),
                qsTr("• Smart rule suggestions based on your activity"),
                qsTr("• Pattern detection across agent sessions"),
                qsTr("You can install later via quorvane download-model")]
            Label {
                textFormat: Text.PlainText
                required property string modelData
                required property int index
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: modelData
                color: index === 0 ? Style.amber : Style.secondaryLabel
                font.pixelSize: Style.captionSize
            }
        }
    }
}
