import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// A boxed note with its title (the circled "i" in front) and its text.
Rectangle {
    id: box
    property string title
    property string text
    implicitHeight: content.implicitHeight + 2 * Style.spacingSmall
    radius: Style.cornerRadius
    color: Style.withAlpha(Style.teal, 0.08)
    border.width: 1
    border.color: Style.withAlpha(Style.teal, 0.25)
    Accessible.role: Accessible.StaticText
    Accessible.name: title + ". " + text

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.margins: Style.spacingSmall
        spacing: Style.spacingSmall

        Rectangle { // dialog-information
            Layout.alignment: Qt.AlignTop
            implicitWidth: 16
            implicitHeight: 16
            radius: 8
            color: "transparent"
            border.width: 1.5
            border.color: Style.teal
            Text {
                textFormat: Text.PlainText
                anchors.centerIn: parent
                text: "i"
                color: Style.teal
                font.pixelSize: Style.footnoteSize
                font.bold: true
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: Style.spacingTight
            Label {
                textFormat: Text.PlainText
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: box.title
                color: Style.label
                font.pixelSize: Style.captionSize
                font.weight: Font.DemiBold
            }
            Label {
                textFormat: Text.PlainText
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: box.text
                color: Style.secondaryLabel
                font.pixelSize: Style.captionSize
            }
        }
    }
}
