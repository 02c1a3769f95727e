import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Dashboard
import Quorvane.Style

// The dashboard window's content: the header, the update banner, the agents
// and features (not on an approval-only machine), the system card, the two
// confirmation questions, the add-agent sheet and the decision history; once
// uninstalling, its progress and report instead of the cards.
Rectangle {
    id: root
    objectName: "dashboardView"
    required property HomeState home
    // The agent whose "Remove" was pressed, while its question is open.
    property string removeConfirmName: ""
    color: Style.windowBackground
    implicitWidth: 540
    implicitHeight: 680

    ScrollView {
        id: scroller
        anchors.fill: parent
        anchors.margins: Style.spacingLarge
        contentWidth: availableWidth
        ScrollBar.vertical: ScrollBarThin {}

        ColumnLayout {
            width: scroller.availableWidth
            spacing: Style.spacing

            DashboardHeader { home: root.home; Layout.fillWidth: true }
            DashboardUpdateBanner { home: root.home; Layout.fillWidth: true }
            DashboardAttention { home: root.home; Layout.fillWidth: true }

            UninstallView {
                visible: root.home.isUninstalling
                home: root.home
                Layout.fillWidth: true
            }

            AgentListSection {
                visible: !root.home.isUninstalling && !root.home.isApproverOnly
                home: root.home
                Layout.fillWidth: true
                onRemoveRequested: name => {
                    root.removeConfirmName = name;
                    removeConfirm.dialog = root.home.removeConfirmation(name);
                    removeConfirm.open();
                }
            }
            FeaturesSection {
                visible: !root.home.isUninstalling && !root.home.isApproverOnly
                home: root.home
                Layout.fillWidth: true
            }
            SectionCard {
                objectName: "systemCard"
                visible: !root.home.isUninstalling
                title: qsTr("System")
                Layout.fillWidth: true
                HomeActionButton {
                    objectName: "historyButton"
                    visible: root.home.history !== null
                    title: qsTr("History")
                    onClicked: history.active = true
                }
                HomeActionButton {
                    objectName: "closeButton"
                    title: qsTr("Close")
                    onClicked: Window.window.close()
                }
                HomeActionButton {
                    objectName: "uninstallButton"
                    title: qsTr("Uninstall")
                    destructive: true
                    onClicked: {
                        uninstallConfirm.dialog = root.home.uninstallConfirmation();
                        uninstallConfirm.open();
                    }
                }
            }
        }
    }

    ConfirmationDialog {
        id: removeConfirm
        objectName: "removeConfirmation"
        onConfirmed: removeGlobalRules => root.home.removeAgent(root.removeConfirmName, removeGlobalRules)
        onClosed: root.removeConfirmName = ""
    }
    ConfirmationDialog {
        id: uninstallConfirm
        objectName: "uninstallConfirmation"
        onConfirmed: removeGlobalRules => root.home.uninstall(removeGlobalRules)
    }
    // The decision history lives in its own module, loaded by address, over
    // the cards while it is open.
    Loader {
        id: history
        objectName: "historyLoader"
        anchors.fill: parent
        active: false
        visible: active
        source: "qrc:/qt/qml/Quorvane/Receipts/HistoryView.qml"
        onLoaded: {
            item.history = root.home.history;
            item.canGoBack = true;
        }
    }
    Connections {
        target: history.item
        function onBackRequested() { history.active = false }
    }
    AddAgentSheet {
        home: root.home
        visible: root.home.showAddAgent && root.home.addAgent !== null
    }
}
