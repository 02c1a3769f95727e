import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A small stepper: "‹ value ›", not editable by typing.
T.SpinBox {
    id: control

    property var labelFor: function(value) { return String(value) }

    implicitWidth: leftPadding + rightPadding + Math.max(22, valueText.implicitWidth + 6)
    implicitHeight: Style.minimumTarget + 4
    leftPadding: Style.minimumTarget + 2
    rightPadding: Style.minimumTarget + 2
    editable: false

    contentItem: Text {
        id: valueText
        textFormat: Text.PlainText
        text: control.labelFor(control.value)
        color: Style.label
        font.pixelSize: Style.captionSize
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    down.indicator: StepperArrow {
        x: control.mirrored ? control.width - width - 2 : 2
        y: (control.height - height) / 2
        glyph: "\u2039"
        pressed: control.down.pressed
        hovered: control.down.hovered
        atEnd: control.value <= control.from && !control.wrap
    }

    up.indicator: StepperArrow {
        x: control.mirrored ? 2 : control.width - width - 2
        y: (control.height - height) / 2
        glyph: "\u203a"
        pressed: control.up.pressed
        hovered: control.up.hovered
        atEnd: control.value >= control.to && !control.wrap
    }

    background: Rectangle {
        radius: 6
        color: Style.cardFill
        border.width: 1
        border.color: Style.fieldBorder
    }

    FocusRing { control: control }
}
