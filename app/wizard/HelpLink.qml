import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// "Need help? View setup guide": a link that opens the set-up guide.
T.AbstractButton {
    id: link
    objectName: "helpLink"
    text: qsTr("Need help? View setup guide")
    implicitWidth: label.implicitWidth
    implicitHeight: label.implicitHeight + 8
    Accessible.role: Accessible.Link
    Accessible.name: text

    contentItem: Text {
        id: label
        textFormat: Text.PlainText
        text: link.text
        color: link.down ? Style.secondaryLabel : Style.teal
        font.pixelSize: Style.captionSize
        font.underline: link.hovered || link.visualFocus
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
}
