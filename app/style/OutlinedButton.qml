import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A button tinted with `color`: a faint vertical gradient, a 1.5-point border
// (`borderColor`, the style colour unless set), an inner highlight, a springy
// press and half opacity when disabled.
T.Button {
    id: control

    property color color: Style.teal
    property real cornerRadius: 8
    property color borderColor: Style.withAlpha(color, 0.6)
    property color textColor: color

    readonly property bool pressedLook: control.down && control.enabled

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)
    topPadding: 7
    bottomPadding: 7
    leftPadding: 14
    rightPadding: 14
    font.pixelSize: Style.calloutSize
    font.weight: Font.DemiBold

    Accessible.name: text
    opacity: enabled ? 1.0 : 0.5
    scale: pressedLook ? 0.97 : 1.0
    Behavior on scale {
        SpringAnimation { spring: 6; damping: 0.4; epsilon: 0.001 }
    }

    contentItem: ButtonContent {
        text: control.text
        iconSource: control.icon.source
        textColor: control.textColor
        font: control.font
    }

    background: Item {
        objectName: "outlinedBackground"
        implicitWidth: 64
        implicitHeight: 30

        Rectangle {
            objectName: "fill"
            anchors.fill: parent
            radius: control.cornerRadius
            gradient: Gradient {
                GradientStop {
                    position: 0.0
                    color: Style.withAlpha(control.color, control.pressedLook ? 0.16 : 0.08)
                }
                GradientStop {
                    position: 1.0
                    color: Style.withAlpha(control.color, control.pressedLook ? 0.10 : 0.04)
                }
            }
        }

        // Border stroked inside the shape.
        Rectangle {
            objectName: "border"
            anchors.fill: parent
            radius: control.cornerRadius
            color: "transparent"
            border.width: 1.5
            border.color: control.borderColor
        }

        InnerHighlight {
            anchors.fill: parent
            cornerRadius: control.cornerRadius
            topOpacity: control.pressedLook ? 0.04 : 0.12
        }
    }

    FocusRing { control: control }
}
