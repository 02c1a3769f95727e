import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// The radio button of every window: the ring, then its label. Chosen, the
// ring takes the accent colour around an accent dot.
T.RadioButton {
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
        radius: width / 2
        color: Style.fieldFill
        border.width: 1.5
        border.color: control.checked ? Style.teal : Style.controlBorder
        Rectangle {
            anchors.centerIn: parent
            visible: control.checked
            width: 8
            height: 8
            radius: 4
            color: Style.teal
        }
        FocusRing { control: control; cornerRadius: 9 }
    }

    contentItem: Text {
        textFormat: Text.PlainText
        leftPadding: control.indicator.width + control.spacing
        verticalAlignment: Text.AlignVCenter
        wrapMode: Text.Wrap
        text: control.text
        font: control.font
        color: Style.label
    }
}
