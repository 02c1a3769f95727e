import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// The switch of every window: its optional label on the left, the track on
// the right. Keep `checked` bound to the model and change the model in
// `onToggled`.
T.Switch {
    id: control

    implicitWidth: Math.max(implicitContentWidth + leftPadding + rightPadding,
                            implicitIndicatorWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitContentHeight, implicitIndicatorHeight, Style.minimumTarget)
                    + topPadding + bottomPadding
    padding: 0
    spacing: Style.spacingSmall
    opacity: enabled ? 1.0 : Style.disabledOpacity
    font.pixelSize: Style.captionSize

    indicator: SwitchTrack {
        control: control
        x: control.mirrored ? 0 : control.width - width
        y: (control.height - height) / 2
    }

    contentItem: Text {
        textFormat: Text.PlainText
        rightPadding: control.text !== "" ? control.indicator.width + control.spacing : control.indicator.width
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        text: control.text
        font: control.font
        color: Style.label
    }
}
