import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// One line of the done screen's summary, behind a coloured dot.
RowLayout {
    id: row
    property color dotColor: Style.green
    property string text
    // Styled text: our own words only, never text from outside.
    property string note

    spacing: Style.spacingSmall
    Accessible.role: Accessible.StaticText
    Accessible.name: note.length > 0 ? text + ". " + note : text

    Rectangle {
        objectName: "summaryDot"
        Layout.alignment: Qt.AlignTop
        Layout.topMargin: 5
        implicitWidth: 8
        implicitHeight: 8
        radius: 4
        color: row.dotColor
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 0
        Label {
            objectName: "summaryText"
            textFormat: Text.PlainText
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: row.text
            color: Style.label
            font.pixelSize: Style.captionSize
        }
        Label {
            objectName: "summaryNote"
            Layout.fillWidth: true
            visible: row.note.length > 0
            wrapMode: Text.WordWrap
            textFormat: Text.StyledText
            text: row.note
            color: Style.secondaryLabel
            font.pixelSize: Style.footnoteSize
        }
    }
}
