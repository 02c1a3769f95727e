import QtQuick
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Trust

// The "Pause" tab: open a trust window now for a chosen time ("Quick") or for
// a chosen start and end ("Schedule").
Item {
    id: root
    objectName: "pauseTab"

    property TrustWindowState model
    readonly property bool scheduled: model !== null && model.mode === TrustWindowState.Scheduled

    implicitWidth: 360
    implicitHeight: column.implicitHeight + 24

    ColumnLayout {
        id: column
        x: 12
        y: 12
        width: root.width - 24
        spacing: 12

        SegmentedControl {
            objectName: "modePicker"
            Layout.fillWidth: true
            model: [qsTr("Quick"), qsTr("Schedule")]
            currentIndex: root.scheduled ? 1 : 0
            onActivated: function(index) {
                root.model.mode = index === 1 ? TrustWindowState.Scheduled : TrustWindowState.AdHoc;
            }
        }

        Text {
            textFormat: Text.PlainText
            Layout.fillWidth: true
            text: root.scheduled ? qsTr("Escalations are approved automatically between these times.")
                                 : qsTr("Escalations are approved automatically for:")
            color: Style.secondaryLabel
            font.pixelSize: Style.captionSize
            wrapMode: Text.WordWrap
        }

        RowLayout {
            objectName: "durationChips"
            visible: !root.scheduled
            Layout.fillWidth: true
            spacing: 6

            Repeater {
                model: root.model ? root.model.durations : []

                DurationChip {
                    required property int modelData
                    objectName: "chip" + modelData
                    Layout.fillWidth: true
                    text: root.model.durationLabel(modelData)
                    isSelected: root.model.selectedDuration === modelData
                    onClicked: root.model.selectedDuration = modelData
                }
            }
        }

        DateTimePicker {
            objectName: "startPicker"
            visible: root.scheduled
            Layout.fillWidth: true
            label: qsTr("Start")
            model: root.model
            value: root.model ? root.model.scheduledStart : new Date()
            onPicked: function(time) { root.model.scheduledStart = time }
        }

        DateTimePicker {
            objectName: "endPicker"
            visible: root.scheduled
            Layout.fillWidth: true
            label: qsTr("End")
            model: root.model
            value: root.model ? root.model.scheduledEnd : new Date()
            onPicked: function(time) { root.model.scheduledEnd = time }
        }

        ColumnLayout {
            objectName: "policyNote"
            readonly property var policy: root.model ? root.model.policy : null
            visible: policy !== null && policy.isMissing
            Layout.fillWidth: true
            spacing: 8

            Text {
                textFormat: Text.PlainText
                Layout.fillWidth: true
                text: qsTr("Trust windows are confirmed with your password, but Quorvane's system policy is not "
                           + "installed in %1. Installing it asks for administrator rights once.")
                      .arg(parent.policy ? parent.policy.actionsDirectory : "")
                color: Style.secondaryLabel
                font.pixelSize: Style.captionSize
                wrapMode: Text.WordWrap
            }

            Text {
                objectName: "policyErrorText"
                textFormat: Text.PlainText
                visible: text.length > 0
                Layout.fillWidth: true
                text: parent.policy ? parent.policy.errorMessage : ""
                color: Style.red
                font.pixelSize: Style.footnoteSize
                wrapMode: Text.WordWrap
            }

            Text {
                objectName: "policyFromPackageText"
                textFormat: Text.PlainText
                visible: parent.policy !== null && !parent.policy.canInstall
                Layout.fillWidth: true
                text: qsTr("This copy of Quorvane does not include the policy. Install Quorvane from its package to use trust windows.")
                color: Style.secondaryLabel
                font.pixelSize: Style.captionSize
                wrapMode: Text.WordWrap
            }

            OutlinedButton {
                objectName: "installPolicyButton"
                visible: parent.policy !== null && parent.policy.canInstall
                Layout.fillWidth: true
                enabled: parent.policy !== null && !parent.policy.isInstalling
                text: parent.policy && parent.policy.isInstalling ? qsTr("Installing...") : qsTr("Install Policy")
                Accessible.name: text
                onClicked: parent.policy.startInstall()
            }
        }

        Text {
            objectName: "errorText"
            textFormat: Text.PlainText
            visible: root.model !== null && root.model.hasErrorMessage
            Layout.fillWidth: true
            text: root.model ? root.model.errorMessage : ""
            color: Style.red
            font.pixelSize: Style.footnoteSize
            wrapMode: Text.WordWrap
        }

        FilledButton {
            objectName: "activateButton"
            Layout.fillWidth: true
            color: Style.teal
            cornerRadius: 8
            enabled: root.model !== null && !root.model.isActivating
            text: root.model && root.model.isActivating ? qsTr("Activating...")
                                                        : (root.scheduled ? qsTr("Schedule") : qsTr("Start"))
            icon.source: root.model && root.model.isActivating ? "" : Qt.resolvedUrl("icons/password.svg")
            onClicked: root.model.startActivate()
        }
    }
}
