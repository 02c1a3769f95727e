import QtQuick
import Quorvane.Style

// One piece of a compound command: read-only pieces faded, the others red.
Text {
    id: line
    objectName: "segmentLine"

    property string segment
    property bool isRead: false

    text: segment
    color: isRead ? Style.secondaryLabel : Style.red
    opacity: isRead ? 0.5 : 1.0
    font.family: "monospace"
    font.pixelSize: 11
    wrapMode: Text.WrapAnywhere
}
