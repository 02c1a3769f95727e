import QtQuick
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Panel

// "Freeze all" at the top of the popover: the button, then its one
// confirmation, the work under way, and the report of what was done.
ColumnLayout {
    id: bar
    objectName: "freezeBar"

    required property FreezeAll freeze

    spacing: 6

    RowLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 12
        Layout.rightMargin: 8
        visible: !bar.freeze.isConfirming && !bar.freeze.isRunning && bar.freeze.report === ""
        Text {
            textFormat: Text.PlainText
            Layout.fillWidth: true
            text: qsTr("Something looks wrong?")
            color: Style.tertiaryLabel
            font.pixelSize: Style.footnoteSize
        }
        PlainButton {
            objectName: "freezeAllButton"
            text: qsTr("Freeze all")
            textColor: Style.red
            pixelSize: Style.captionSize
            Accessible.name: qsTr("Freeze all: deny every pending action and end the trust window")
            onClicked: bar.freeze.requestConfirmation()
        }
    }

    Rectangle {
        objectName: "freezeConfirmation"
        visible: bar.freeze.isConfirming
        Layout.fillWidth: true
        Layout.leftMargin: 10
        Layout.rightMargin: 10
        implicitHeight: confirmColumn.implicitHeight + 20
        radius: 8
        color: Style.withAlpha(Style.red, 0.12)
        ColumnLayout {
            id: confirmColumn
            anchors.fill: parent
            anchors.margins: 10
            spacing: 8
            Text {
                objectName: "freezeConfirmationText"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                text: bar.freeze.confirmationText
                color: Style.label
                wrapMode: Text.Wrap
                font.pixelSize: Style.captionSize
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: 8
                Item { Layout.fillWidth: true }
                PlainButton {
                    objectName: "freezeCancelButton"
                    text: qsTr("Cancel")
                    textColor: Style.secondaryLabel
                    onClicked: bar.freeze.cancel()
                }
                FilledButton {
                    objectName: "freezeConfirmButton"
                    text: qsTr("Freeze")
                    color: Style.red
                    cornerRadius: 7
                    font.pixelSize: Style.captionSize
                    topPadding: 5
                    bottomPadding: 5
                    onClicked: bar.freeze.confirm()
                }
            }
        }
    }

    RowLayout {
        objectName: "freezeRunning"
        visible: bar.freeze.isRunning
        Layout.leftMargin: 12
        spacing: 6
        Spinner {}
        Text { textFormat: Text.PlainText; text: qsTr("Freezing…"); color: Style.secondaryLabel; font.pixelSize: Style.captionSize }
    }

    RowLayout {
        objectName: "freezeReport"
        visible: bar.freeze.report !== "" && !bar.freeze.isRunning
        Layout.fillWidth: true
        Layout.leftMargin: 12
        Layout.rightMargin: 8
        spacing: 6
        Text {
            objectName: "freezeReportText"
            textFormat: Text.PlainText
            Layout.fillWidth: true
            text: bar.freeze.report
            color: Style.label
            wrapMode: Text.Wrap
            font.pixelSize: Style.captionSize
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        PlainButton {
            objectName: "freezeRetryButton"
            visible: bar.freeze.canRetry
            text: qsTr("Retry")
            Accessible.name: qsTr("Retry the freeze")
            onClicked: bar.freeze.retry()
        }
        PlainButton {
            objectName: "freezeDismissButton"
            text: qsTr("OK")
            Accessible.name: qsTr("Dismiss the freeze report")
            onClicked: bar.freeze.dismissReport()
        }
    }
}
