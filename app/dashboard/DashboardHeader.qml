import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// The application icon, the title, the companion's own version (the one
// updates are measured against) and the product tool's version when known.
RowLayout {
    id: header
    required property var home
    spacing: Style.spacingSmall

    Image {
        source: "qrc:/qt/qml/Quorvane/Dashboard/icons/quorvane.svg"
        sourceSize.width: Style.titleSize * 2
        sourceSize.height: Style.titleSize * 2
        Accessible.ignored: true
    }
    Label {
        objectName: "dashboardTitle"
        textFormat: Text.PlainText
        text: qsTr("Quorvane")
        color: Style.label
        font.pixelSize: Style.titleSize
        font.bold: true
    }
    Label {
        objectName: "appVersion"
        text: qsTr("v%1").arg(header.home.appVersion)
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
        Layout.alignment: Qt.AlignBaseline
    }
    Label {
        objectName: "cliVersion"
        textFormat: Text.PlainText
        visible: header.home.cliVersion !== undefined
        text: visible ? qsTr("CLI v%1").arg(header.home.cliVersion) : ""
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
        Layout.alignment: Qt.AlignBaseline
    }
    Item { Layout.fillWidth: true }
    // No tray menu to quit from: quitting is offered here.
    OutlinedButton {
        objectName: "quitWithoutTrayButton"
        visible: header.home.quitOffer.offered
        text: qsTr("Quit Quorvane")
        onClicked: header.home.quitOffer.quit()
    }
}
