import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// A question before removing: `dialog` is what the home state gives for it
// ({title, message, buttons}). Every button closes it; the others than
// "Cancel" report `confirmed` with their removeGlobalRules.
Popup {
    id: popup
    property var dialog: ({ title: "", message: "", buttons: [] })
    signal confirmed(bool removeGlobalRules)

    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    anchors.centerIn: Overlay.overlay
    width: parent ? parent.width - 4 * Style.spacingLarge : implicitWidth
    padding: Style.spacingLarge
    background: Rectangle { color: Style.windowBackground; radius: 12; border.color: Style.separator }

    ColumnLayout {
        width: parent.width
        spacing: Style.spacing
        Accessible.role: Accessible.Dialog
        Accessible.name: popup.dialog.title

        Label {
            objectName: "confirmationTitle"
            textFormat: Text.PlainText
            text: popup.dialog.title
            color: Style.label
            font.pixelSize: Style.titleSize
            font.bold: true
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        Label {
            objectName: "confirmationMessage"
            textFormat: Text.PlainText
            text: popup.dialog.message
            color: Style.secondaryLabel
            font.pixelSize: Style.bodySize
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        Repeater {
            model: popup.dialog.buttons
            delegate: HomeActionButton {
                required property var modelData
                objectName: "confirmation_" + modelData.text
                title: modelData.text
                destructive: modelData.role === "destructive"
                color: modelData.role === "cancel" ? Style.neutralFill : destructive ? Style.red : Style.teal
                // Confirmed before closing: closing forgets what was asked about.
                onClicked: {
                    if (modelData.role !== "cancel")
                        popup.confirmed(modelData.removeGlobalRules);
                    popup.close();
                }
            }
        }
    }
}
