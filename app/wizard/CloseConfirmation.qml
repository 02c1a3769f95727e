import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// Asked before "Close" stops work that still runs: "Keep Running" (also
// Escape) leaves everything as it is, "Stop & Close" closes the wizard.
Dialog {
    id: dialog
    objectName: "closeConfirmation"
    property string message
    property string keepRunningLabel
    property string stopAndCloseLabel
    signal stopAndClose()

    modal: true
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 2 * Style.spacingLarge : 400, 400)
    closePolicy: Popup.CloseOnEscape
    background: Rectangle { color: Style.popupFill; radius: 12; border.color: Style.separator }

    header: Label {
        objectName: "closeTitle"
        textFormat: Text.PlainText
        padding: Style.spacing
        bottomPadding: 0
        wrapMode: Text.WordWrap
        text: dialog.title
        color: Style.label
        font.pixelSize: Style.bodySize
        font.bold: true
    }
    contentItem: Label {
        objectName: "closeMessage"
        textFormat: Text.PlainText
        wrapMode: Text.WordWrap
        text: dialog.message
        color: Style.label
        font.pixelSize: Style.captionSize
    }
    footer: RowLayout {
        spacing: Style.spacingSmall
        Item { Layout.fillWidth: true }
        OutlinedButton {
            objectName: "keepRunningButton"
            Layout.bottomMargin: Style.spacing
            color: Style.secondaryLabel
            text: dialog.keepRunningLabel
            focus: true
            onClicked: dialog.close()
        }
        FilledButton {
            objectName: "stopAndCloseButton"
            Layout.bottomMargin: Style.spacing
            Layout.rightMargin: Style.spacing
            color: Style.red
            text: dialog.stopAndCloseLabel
            onClicked: {
                dialog.close()
                dialog.stopAndClose()
            }
        }
    }
}
