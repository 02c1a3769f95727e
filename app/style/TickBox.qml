import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// The check box of every window: the box, then its optional label. Checked,
// the box fills with the accent colour and shows a tick.
T.CheckBox {
    id: control

    implicitWidth: Math.max(implicitContentWidth + leftPadding + rightPadding,
                            implicitIndicatorWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitContentHeight, implicitIndicatorHeight, Style.minimumTarget)
                    + topPadding + bottomPadding
    padding: 0
    spacing: Style.spacingSmall
    opacity: enabled ? 1.0 : Style.disabledOpacity
    font.pixelSize: Style.captionSize

    indicator: Rectangle {
        x: control.mirrored ? control.width - width : 0
        y: (control.height - height) / 2
        implicitWidth: 18
        implicitHeight: 18
        radius: 4
        color: control.checked ? Style.teal : Style.fieldFill
        border.width: control.checked ? 0 : 1.5
        border.color: Style.controlBorder
        Text {
            anchors.centerIn: parent
            visible: control.checked
            textFormat: Text.PlainText
            text: "\u2713"
            color: Style.controlKnob
            font.pixelSize: Style.captionSize
            font.bold: true
        }
        FocusRing { control: control; cornerRadius: 4 }
    }

    contentItem: Text {
        textFormat: Text.PlainText
        leftPadding: control.indicator.width + control.spacing
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        text: control.text
        font: control.font
        color: Style.label
        visible: text !== ""
    }
}
