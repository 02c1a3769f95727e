import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// The drop-down of every window: the chosen label and an arrow; its list
// opens below it, each row readable, the hovered or chosen one tinted.
// `model` is a list of labels.
T.ComboBox {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth, implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight, implicitContentHeight + topPadding + bottomPadding)
    leftPadding: 10
    rightPadding: 10 + arrow.width
    opacity: enabled ? 1.0 : Style.disabledOpacity
    font.pixelSize: Style.bodySize

    delegate: T.ItemDelegate {
        id: row
        required property var modelData
        required property int index
        objectName: control.objectName + "Row" + index
        width: ListView.view.width
        implicitHeight: Math.max(Style.minimumTarget + 8, label.implicitHeight + 12)
        padding: 0
        leftPadding: 10
        rightPadding: 10
        text: modelData
        highlighted: control.highlightedIndex === index
        Accessible.name: text
        contentItem: Text {
            id: label
            textFormat: Text.PlainText
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
            text: row.text
            font.pixelSize: control.font.pixelSize
            font.weight: control.currentIndex === row.index ? Font.DemiBold : Font.Normal
            color: Style.label
        }
        background: Rectangle {
            radius: Style.cornerRadius - 2
            color: row.highlighted || row.hovered ? Style.highlightFill : "transparent"
        }
    }

    indicator: Text {
        id: arrow
        x: control.width - width - 10
        y: (control.height - height) / 2
        textFormat: Text.PlainText
        text: "\u25be"
        color: Style.secondaryLabel
        font.pixelSize: Style.bodySize
    }

    contentItem: Text {
        textFormat: Text.PlainText
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        text: control.displayText
        font: control.font
        color: Style.label
    }

    background: Rectangle {
        implicitWidth: 160
        implicitHeight: 32
        radius: Style.cornerRadius
        color: control.hovered ? Style.withAlpha(Style.label, 0.08) : Style.fieldFill
        border.width: control.activeFocus ? 1.5 : 1
        border.color: control.activeFocus ? Style.teal : Style.fieldBorder
    }

    popup: T.Popup {
        y: control.height + 2
        width: control.width
        implicitHeight: Math.min(contentItem.implicitHeight + topPadding + bottomPadding, 320)
        padding: 4

        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: control.delegateModel
            currentIndex: control.highlightedIndex
            T.ScrollIndicator.vertical: T.ScrollIndicator {}
        }

        background: Rectangle {
            radius: Style.cornerRadius
            color: Style.popupFill
            border.width: 1
            border.color: Style.fieldBorder
        }
    }
}
