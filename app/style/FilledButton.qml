import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A button filled with a vertical gradient of `color`, with an inner highlight,
// a coloured shadow, a springy press and half opacity when disabled.
T.Button {
    id: control

    property color color: Style.teal
    property real cornerRadius: 8
    property color textColor: Style.textOn(color)

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
        objectName: "filledBackground"
        implicitWidth: 64
        implicitHeight: 30

        // The shadow is two plain rounded rectangles under the fill: every
        // renderer draws them, and no effect plugin is loaded (the blur effects
        // open a GL context just to probe the driver, which maps Mesa for good).
        Rectangle {
            objectName: "shadowHalo"
            anchors.fill: parent
            anchors.margins: control.pressedLook ? 0 : -1
            anchors.topMargin: control.pressedLook ? 0 : 2
            anchors.bottomMargin: control.pressedLook ? 0 : -3
            radius: control.cornerRadius + 1
            color: Style.withAlpha(control.color, control.pressedLook ? 0.0 : 0.12)
        }

        Rectangle {
            objectName: "shadow"
            anchors.fill: parent
            anchors.topMargin: control.pressedLook ? 0 : 1
            anchors.bottomMargin: control.pressedLook ? 0 : -2
            radius: control.cornerRadius
            color: Style.withAlpha(control.color, control.pressedLook ? 0.15 : 0.30)
        }

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
        }

        InnerHighlight {
            anchors.fill: parent
            cornerRadius: control.cornerRadius
            topOpacity: control.pressedLook ? 0.06 : 0.22
        }
    }

    FocusRing { control: control; cornerRadius: control.cornerRadius }
}
