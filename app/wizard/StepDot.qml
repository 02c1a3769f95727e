import QtQuick
import Quorvane.Style

// One step of the step bar: its number while pending or active, a check mark
// once done; the colours follow the state (0 done, 1 active, 2 pending, as
// WizardState.StepState).
Rectangle {
    id: dot
    property int number: 1
    property int stepState: 2
    readonly property bool isDone: stepState === 0
    readonly property bool isActive: stepState === 1

    implicitWidth: 24
    implicitHeight: 24
    radius: width / 2
    color: isDone ? Style.teal : (isActive ? Style.withAlpha(Style.teal, 0.18) : Style.cardFill)
    border.width: isDone ? 0 : 1.5
    border.color: isActive ? Style.teal : Style.separator

    Text {
        textFormat: Text.PlainText
        anchors.centerIn: parent
        text: dot.isDone ? "✓" : dot.number
        color: dot.isDone ? Style.windowBackground : (dot.isActive ? Style.teal : Style.secondaryLabel)
        font.pixelSize: Style.captionSize
        font.weight: Font.DemiBold
    }
}
