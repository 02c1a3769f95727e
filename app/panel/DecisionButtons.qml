import QtQuick
import QtQuick.Layouts
import Quorvane.Style

// The two decision buttons side by side: the first decides "approved", the
// second "denied". Labels and colour names come from the model.
RowLayout {
    id: buttons

    property string approveLabel: qsTr("Approve")
    property string denyLabel: qsTr("Deny")
    property string approveColorName: "green"
    property string denyColorName: "red"
    property bool responding: false
    property string objectNamePrefix: ""
    // The action as a screen reader says it after the button's label.
    property string spokenSummary: ""

    signal approveClicked()
    signal denyClicked()

    spacing: 8

    FilledButton {
        objectName: buttons.objectNamePrefix + "approveButton"
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        text: buttons.approveLabel
        color: Style[buttons.approveColorName]
        cornerRadius: 7
        font.pixelSize: Style.captionSize
        topPadding: 5
        bottomPadding: 5
        enabled: !buttons.responding
        Accessible.name: buttons.approveLabel + ": " + buttons.spokenSummary
        onClicked: buttons.approveClicked()
    }

    FilledButton {
        objectName: buttons.objectNamePrefix + "denyButton"
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        text: buttons.denyLabel
        color: Style[buttons.denyColorName]
        cornerRadius: 7
        font.pixelSize: Style.captionSize
        topPadding: 5
        bottomPadding: 5
        enabled: !buttons.responding
        Accessible.name: buttons.denyLabel + ": " + buttons.spokenSummary
        onClicked: buttons.denyClicked()
    }
}
