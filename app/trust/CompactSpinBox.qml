import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A small stepper: "‹ value ›", not editable by typing.
T.SpinBox {
    id: control

    property var labelFor: function(value) { return String(value) }

    implicitWidth: leftPadding + rightPadding + Math.max(22, valueText.implicitWidth + 6)
    implicitHeight: 26
    leftPadding: 22
    rightPadding: 22
    editable: false

    contentItem: Text {
        id: valueText
        textFormat: Text.PlainText
        text: control.labelFor(control.value)
        color: Style.label
        font.pixelSize: 12
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    down.indicator: Text {
        textFormat: Text.PlainText
        x: control.mirrored ? control.width - width : 0
        width: 20
        height: control.height
        text: qsTr("\u2039")
        font.pixelSize: 16
        color: control.down.pressed ? Style.teal : Style.secondaryLabel
        opacity: control.value > control.from || control.wrap ? 1.0 : 0.35
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    up.indicator: Text {
        textFormat: Text.PlainText
        x: control.mirrored ? 0 : control.width - width
        width: 20
        height: control.height
        text: qsTr("\u203a")
        font.pixelSize: 16
        color: control.up.pressed ? Style.teal : Style.secondaryLabel
        opacity: control.value < control.to || control.wrap ? 1.0 : 0.35
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        radius: 6
        color: Style.cardFill
        border.width: 1
        border.color: Style.withAlpha("white", 0.10)
    }

    FocusRing { control: control }
}
