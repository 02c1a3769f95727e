import QtQuick
import QtQuick.Layouts
import Quorvane.Style

// Under a decision's buttons: the decision on its way, or why it did not go
// through and "Retry". Hidden when there is nothing to tell.
RowLayout {
    id: line
    objectName: "decisionStatusLine"

    property string text: ""
    property bool failed: false
    property string objectNamePrefix: ""

    signal retryClicked()

    visible: text !== ""
    spacing: 6

    Text {
        objectName: line.objectNamePrefix + "decisionStatus"
        Layout.fillWidth: true
        text: line.text
        textFormat: Text.PlainText
        color: line.failed ? Style.red : Style.secondaryLabel
        font.pixelSize: Style.footnoteSize
        wrapMode: Text.Wrap
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
    PlainButton {
        objectName: line.objectNamePrefix + "retryButton"
        visible: line.failed
        text: qsTr("Retry")
        pixelSize: Style.footnoteSize
        Accessible.name: qsTr("Retry the decision")
        onClicked: line.retryClicked()
    }
}
