import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// A titled card; its children go into a column under the title.
Card {
    id: card
    property string title
    default property alias content: column.data

    implicitHeight: column.implicitHeight + 2 * Style.spacing

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: Style.spacing
        spacing: Style.spacingSmall

        Label {
            textFormat: Text.PlainText
            text: card.title
            color: Style.secondaryLabel
            font.pixelSize: Style.captionSize
            font.bold: true
            Accessible.role: Accessible.Heading
        }
    }
}
