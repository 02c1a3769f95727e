import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Dashboard
import Quorvane.Style

// The dashboard window's content: the agents registered on this machine.
Rectangle {
    id: root
    objectName: "dashboardView"
    required property HomeState home
    readonly property var agents: home.agents
    color: Style.windowBackground
    implicitWidth: 540
    implicitHeight: 680

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Style.spacingLarge
        spacing: Style.spacing

        Label {
            objectName: "dashboardTitle"
            text: qsTr("Quorvane")
            color: Style.label
            font.pixelSize: Style.titleSize
            font.bold: true
        }
        // The decision history lives in its own module, loaded by address.
        OutlinedButton {
            objectName: "historyButton"
            visible: root.home.history !== null
            text: history.active ? qsTr("Agents") : qsTr("History")
            onClicked: history.active = !history.active
        }
        Loader {
            id: history
            objectName: "historyLoader"
            active: false
            visible: active
            Layout.fillWidth: true
            Layout.fillHeight: true
            source: "qrc:/qt/qml/Quorvane/Receipts/HistoryView.qml"
            onLoaded: item.history = root.home.history
        }
        Label {
            text: root.agents.count === 1 ? qsTr("1 agent on this machine")
                                          : qsTr("%1 agents on this machine").arg(root.agents.count)
            objectName: "agentCountLabel"
            color: Style.secondaryLabel
            font.pixelSize: Style.captionSize
        }
        ListView {
            id: list
            objectName: "agentList"
            visible: !history.active
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: Style.spacingSmall
            model: root.agents
            delegate: Rectangle {
                required property string name
                required property string scopeLabel
                required property string status
                width: ListView.view.width
                height: 56
                radius: 8
                color: Style.cardFill
                Column {
                    anchors.verticalCenter: parent.verticalCenter
                    anchors.left: parent.left
                    anchors.leftMargin: Style.spacing
                    spacing: Style.spacingTight
                    Label { text: name; color: Style.label; font.pixelSize: Style.bodySize; font.bold: true }
                    Label { text: scopeLabel; color: Style.secondaryLabel; font.pixelSize: Style.captionSize }
                }
                Label {
                    anchors.verticalCenter: parent.verticalCenter
                    anchors.right: parent.right
                    anchors.rightMargin: Style.spacing
                    text: status
                    color: Style.secondaryLabel
                    font.pixelSize: Style.captionSize
                }
            }
        }
        Label {
            visible: root.agents.count === 0 && !history.active
            objectName: "noAgentsLabel"
            text: qsTr("No agents on this machine yet.")
            color: Style.secondaryLabel
            font.pixelSize: Style.bodySize
        }
    }
}
