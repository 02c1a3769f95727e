import QtQuick
import Quorvane.Style

// One piece of a compound command: read-only pieces faded, the others red; the
// piece that carried the highest risk is marked with a bar and bold type.
Text {
    id: line
    objectName: "segmentLine"
    textFormat: Text.PlainText

    property string segment
    property bool isRead: false
    property bool isHighestRisk: false
    property string risk

    text: segment
    color: isRead ? Style.secondaryLabel : Style.red
    opacity: isRead ? 0.5 : 1.0
    font.family: Style.monospaceFamily
    font.pixelSize: Style.footnoteSize
    font.bold: isHighestRisk
    leftPadding: isHighestRisk ? 8 : 0
    wrapMode: Text.WrapAnywhere
    Accessible.role: Accessible.StaticText
    Accessible.name: isHighestRisk ? qsTr("Highest risk, %1: %2").arg(risk).arg(segment) : segment

    Rectangle {
        objectName: "highestRiskMark"
        visible: line.isHighestRisk
        width: 3
        height: parent.height
        radius: 1.5
        color: Style.red
    }
}
