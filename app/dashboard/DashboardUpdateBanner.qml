import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// Shown while the update service knows a newer version: the download's
// progress, "Update Failed", or the version with an "Update" button (for a
// package installation, the advice to use the package manager instead).
Card {
    id: banner
    objectName: "dashboardUpdateBanner"
    required property var home
    readonly property var updates: home.updates

    visible: updates !== null && updates.availableVersion !== ""
    implicitHeight: row.implicitHeight + 2 * Style.spacingSmall
    color: Style.withAlpha(Style.teal, 0.12)

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: Style.spacingSmall
        anchors.leftMargin: Style.spacing
        spacing: Style.spacingSmall

        Label {
            objectName: "updateBannerText"
            textFormat: Text.PlainText
            Layout.fillWidth: true
            color: Style.label
            font.pixelSize: Style.bodySize
            text: !banner.visible ? ""
                : banner.updates.isUpdating ? qsTr("Downloading update... %1").arg(banner.home.percentText(banner.updates.updateProgress))
                : banner.updates.updateError !== "" ? qsTr("Update Failed")
                : banner.updates.packageManaged
                    ? qsTr("Update Available") + "  v" + banner.updates.availableVersion + qsTr(" · update it with your package manager")
                : qsTr("Update Available") + "  v" + banner.updates.availableVersion
        }
        // A package installation is updated by the package manager, never here.
        FilledButton {
            objectName: "updateButton"
            visible: banner.visible && !banner.updates.isUpdating && banner.updates.updateError === ""
                     && !banner.updates.packageManaged
            text: qsTr("Update")
            Accessible.name: text
            onClicked: banner.updates.downloadAndInstall()
        }
    }
}
