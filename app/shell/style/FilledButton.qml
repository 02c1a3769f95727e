import QtQuick
import QtQuick.Templates as T
import Qt5Compat.GraphicalEffects
import Quorvane.Style

// A button filled with a vertical gradient of `color`, with an inner highlight,
// a coloured shadow (hardware rendering only), a springy press and half opacity
// when disabled.
T.Button {
    id: control

    property color color: Style.teal
    property real cornerRadius: 8
    property color textColor: "white"

    readonly property bool pressedLook: control.down && control.enabled

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)
    topPadding: 7
    bottomPadding: 7
    leftPadding: 14
    rightPadding: 14
    font.pixelSize: 13
    font.weight: Font.DemiBold

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
        objectName: "filledBackground"
        implicitWidth: 64
        implicitHeight: 30

        Rectangle {
            id: fill
            objectName: "fill"
            anchors.fill: parent
            radius: control.cornerRadius
            gradient: Gradient {
                GradientStop {
                    position: 0.0
                    color: control.pressedLook ? Style.mix(control.color, "black", 0.10)
                                               : Style.mix(control.color, "white", 0.12)
                }
                GradientStop {
                    position: 1.0
                    color: control.pressedLook ? Style.mix(control.color, "black", 0.22)
                                               : Style.mix(control.color, "black", 0.08)
                }
            }
            layer.enabled: GraphicsInfo.api !== GraphicsInfo.Software
            layer.effect: DropShadow {
                transparentBorder: true
                color: Style.withAlpha(control.color, control.pressedLook ? 0.15 : 0.35)
                radius: control.pressedLook ? 1 : 3
                samples: control.pressedLook ? 3 : 7
                horizontalOffset: 0
                verticalOffset: control.pressedLook ? 0 : 2
            }
        }

        InnerHighlight {
            anchors.fill: parent
            cornerRadius: control.cornerRadius
            topOpacity: control.pressedLook ? 0.06 : 0.22
        }
    }
}
