import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// The one-line text field of every window. With the focus its border takes
// the accent colour; `invalid` borders it in red.
T.TextField {
    id: control

    property bool invalid: false

    implicitWidth: Math.max(implicitBackgroundWidth, placeholder.implicitWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight, contentHeight + topPadding + bottomPadding)
    padding: Style.spacingSmall
    leftPadding: 10
    rightPadding: 10
    opacity: enabled ? 1.0 : Style.disabledOpacity
    font.pixelSize: Style.bodySize
    color: Style.label
    placeholderTextColor: Style.tertiaryLabel
    selectionColor: Style.highlightFill
    selectedTextColor: Style.label
    verticalAlignment: TextInput.AlignVCenter

    Text {
        id: placeholder
        x: control.leftPadding
        y: control.topPadding
        width: control.width - control.leftPadding - control.rightPadding
        height: control.height - control.topPadding - control.bottomPadding
        textFormat: Text.PlainText
        text: control.placeholderText
        font: control.font
        color: control.placeholderTextColor
        verticalAlignment: control.verticalAlignment
        elide: Text.ElideRight
        visible: !control.length && !control.preeditText
    }

    background: Rectangle {
        implicitWidth: 160
        implicitHeight: 32
        radius: Style.cornerRadius
        color: Style.fieldFill
        border.width: control.activeFocus || control.invalid ? 1.5 : 1
        border.color: control.invalid ? Style.red : (control.activeFocus ? Style.teal : Style.fieldBorder)
    }
}
