import QtQuick
import QtQuick.Controls

// The popover's content while no approvals panel is linked in.
Rectangle {
    objectName: "popoverPlaceholder"
    color: "#1c1c1e"
    implicitWidth: 360
    implicitHeight: 200
    Label {
        anchors.centerIn: parent
        text: "Quorvane"
        color: "#f2f2f7"
        font.pixelSize: 18
    }
}
