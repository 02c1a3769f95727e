import QtQuick
import QtQuick.Layouts
import Quorvane.Style

// Turning an approval into a standing rule: the toggle, then the scope on
// offer and what the rule will auto-approve.
Rectangle {
    id: section
    objectName: "ruleSection"

    required property var rule

    implicitHeight: column.implicitHeight + 20
    height: implicitHeight
    radius: 10
    color: Style.cardFill
    clip: true
    Behavior on implicitHeight {
        NumberAnimation { duration: 200; easing.type: Easing.InOutQuad }
    }

    ColumnLayout {
        id: column
        x: 10
        y: 10
        width: section.width - 20
        spacing: 8

        RuleToggle {
            objectName: "ruleToggle"
            Layout.fillWidth: true
            text: qsTr("Bypass escalations")
            iconSource: Qt.resolvedUrl("icons/shield-check.svg")
            checked: section.rule.isOn
            onToggled: section.rule.turn(checked)
        }

        // Before the toggle is turned on: what a rule would cover at each scope.
        Repeater {
            model: section.rule.isOn ? [] : section.rule.scopeOptions
            Text {
                textFormat: Text.PlainText
                required property var modelData
                objectName: "scopeCoverage"
                Layout.fillWidth: true
                text: modelData.label + ": " + modelData.covers
                color: Style.secondaryLabel
                font.pixelSize: Style.footnoteSize
                wrapMode: Text.Wrap
            }
        }

        Text {
            objectName: "scopeHeading"
            textFormat: Text.PlainText
            visible: section.rule.isOn
            text: qsTr("SCOPE")
            color: Style.secondaryLabel
            font.pixelSize: Style.overlineSize
            font.weight: Font.Bold
            font.letterSpacing: 0.8
        }

        SegmentedControl {
            objectName: "scopePicker"
            visible: section.rule.isOn
            Layout.fillWidth: true
            Accessible.name: qsTr("Scope")
            model: section.rule.scopeOptions.map(function(option) { return option.label })
            currentIndex: section.rule.scopeIndex
            onActivated: function(index) { section.rule.chooseScopeAt(index) }
        }

        RowLayout {
            visible: section.rule.isOn
            Layout.fillWidth: true
            spacing: 6
            Image {
                Layout.alignment: Qt.AlignTop
                Layout.topMargin: 1
                source: Qt.resolvedUrl("icons/dialog-warning.svg")
                sourceSize.width: 12
                sourceSize.height: 12
            }
            Text {
                objectName: "scopeWarning"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                text: section.rule.warning
                color: Style.amber
                font.pixelSize: Style.footnoteSize
                wrapMode: Text.Wrap
            }
        }
    }
}
