import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Dashboard

// The dashboard window's content: the agents registered on this machine.
Rectangle {
    id: root
    objectName: "dashboardView"
    required property HomeState home
    readonly property var agents: home.agents
    color: "#1c1c1e"
    implicitWidth: 540
    implicitHeight: 680

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 16

        Label {
            objectName: "dashboardTitle"
            text: "Quorvane"
            color: "#f2f2f7"
            font.pixelSize: 24
            font.bold: true
        }
        Label {
            text: root.agents.count === 1 ? "1 agent on this machine" : root.agents.count + " agents on this machine"
            objectName: "agentCountLabel"
            color: "#a1a1aa"
            font.pixelSize: 13
        }
        ListView {
            id: list
            objectName: "agentList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 8
            model: root.agents
            delegate: Rectangle {
                required property string name
                required property string scopeLabel
                required property string status
                width: ListView.view.width
                height: 56
                radius: 8
                color: "#2c2c2e"
                Column {
                    anchors.verticalCenter: parent.verticalCenter
                    anchors.left: parent.left
                    anchors.leftMargin: 14
                    spacing: 2
                    Label { text: name; color: "#f2f2f7"; font.pixelSize: 14; font.bold: true }
                    Label { text: scopeLabel; color: "#a1a1aa"; font.pixelSize: 12 }
                }
                Label {
                    anchors.verticalCenter: parent.verticalCenter
                    anchors.right: parent.right
                    anchors.rightMargin: 14
                    text: status
                    color: "#a1a1aa"
                    font.pixelSize: 12
                }
            }
        }
        Label {
            visible: root.agents.count === 0
            objectName: "noAgentsLabel"
            text: "No agents on this machine yet."
            color: "#a1a1aa"
        }
    }
}
