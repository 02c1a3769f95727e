import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// One quick duration: teal when selected, a card otherwise.
T.AbstractButton {
    id: chip

    property bool isSelected: false

    implicitWidth: Math.max(44, label.implicitWidth + 20)
    implicitHeight: 28
    scale: down ? 0.97 : 1.0
    Behavior on scale {
        SpringAnimation { spring: 6; damping: 0.4; epsilon: 0.001 }
    }

    background: Rectangle {
        radius: 7
        color: chip.isSelected ? Style.highlightFill : Style.cardFill
        border.width: 1
        border.color: chip.isSelected ? Style.teal : Style.separator
    }

    contentItem: Text {
        id: label
        textFormat: Text.PlainText
        text: chip.text
        color: chip.isSelected ? Style.teal : Style.label
        font.pixelSize: Style.captionSize
        font.weight: chip.isSelected ? Font.DemiBold : Font.Normal
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    FocusRing { control: chip }
}
