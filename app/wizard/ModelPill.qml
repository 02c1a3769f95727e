import QtQuick
import QtQuick.Controls
import Quorvane.Style

// A small rounded label about the local model.
Rectangle {
    id: pill
    property alias text: label.text
    property color tint: Style.teal
    implicitWidth: label.implicitWidth + 2 * Style.spacing
    implicitHeight: label.implicitHeight + Style.spacingSmall
    radius: height / 2
    color: Style.withAlpha(tint, 0.14)
    border.width: 1
    border.color: Style.withAlpha(tint, 0.45)
    Accessible.role: Accessible.StaticText
    Accessible.name: label.text

    Label {
        id: label
        textFormat: Text.PlainText
        anchors.centerIn: parent
        color: pill.tint
        font.pixelSize: Style.captionSize
        font.weight: Font.DemiBold
    }
}
