import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// Instead of the cards once the uninstall has started: the current step, then
// the report with "Delete App & Quit" and "Quit".
ColumnLayout {
    id: view
    objectName: "uninstallView"
    required property var home
    spacing: Style.spacing

    RowLayout {
        visible: !view.home.uninstallComplete
        spacing: Style.spacingSmall
        Spinner { running: !view.home.uninstallComplete }
        Label {
            objectName: "uninstallStatus"
            textFormat: Text.PlainText
            text: view.home.uninstallStatus
            color: Style.label
            font.pixelSize: Style.bodySize
        }
    }

    Label {
        objectName: "uninstalledTitle"
        textFormat: Text.PlainText
        visible: view.home.uninstallComplete
        text: qsTr("Quorvane Uninstalled")
        color: Style.label
        font.pixelSize: Style.titleSize
        font.bold: true
    }
    Repeater {
        objectName: "uninstallReport"
        model: view.home.uninstallComplete ? view.home.uninstallReport : []
        delegate: Label {
            textFormat: Text.PlainText
            required property string modelData
            text: "•  " + modelData
            color: Style.secondaryLabel
            font.pixelSize: Style.bodySize
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }
    Label {
        objectName: "appRemovalAdvice"
        textFormat: Text.PlainText
        visible: view.home.appRemovalAdvice !== ""
        text: view.home.appRemovalAdvice
        color: Style.amber
        font.pixelSize: Style.bodySize
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    HomeActionButton {
        objectName: "skipUnregisteringButton"
        visible: view.home.isUninstalling && !view.home.uninstallComplete
        title: qsTr("Skip")
        onClicked: view.home.skipUnregistering()
    }
    HomeActionButton {
        objectName: "deleteAppButton"
        visible: view.home.uninstallComplete && view.home.appRemovalAdvice === ""
        title: qsTr("Delete App & Quit")
        destructive: true
        onClicked: view.home.deleteAppAndQuit()
    }
    HomeActionButton {
        objectName: "quitButton"
        visible: view.home.uninstallComplete
        title: qsTr("Quit")
        onClicked: view.home.quit()
    }
}
