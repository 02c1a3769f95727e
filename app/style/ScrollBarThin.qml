import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A slim scroll bar over the content's right edge, drawn by our own style so a
// window made only of our components loads no Qt Quick Controls style.
T.ScrollBar {
    id: control

    implicitWidth: 8
    implicitHeight: 8
    padding: 2
    minimumSize: 0.1
    visible: policy !== T.ScrollBar.AlwaysOff && size < 1.0

    contentItem: Rectangle {
        implicitWidth: 4
        implicitHeight: 4
        radius: width / 2
        color: control.pressed ? Style.secondaryLabel : Style.withAlpha(Style.secondaryLabel, 0.35)
        opacity: control.policy === T.ScrollBar.AlwaysOn || control.active ? 1.0 : 0.0
        Behavior on opacity {
            NumberAnimation { duration: 200 }
        }
    }
}
