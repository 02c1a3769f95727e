import QtQuick
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// The five steps of the set-up in order, each a dot joined to the next by a
// line, the label under each dot.
Item {
    id: bar
    objectName: "stepProgressBar"
    required property WizardState wizardState
    property int activeStep: 0
    // Each step's label and state (WizardState.StepState) for the active one.
    readonly property var stepList: wizardState.steps(activeStep)
    readonly property int stepCount: stepList.length

    implicitHeight: steps.implicitHeight
    implicitWidth: 420
    Accessible.role: Accessible.ProgressBar
    Accessible.name: qsTr("Step %1 of %2: %3").arg(activeStep + 1).arg(stepCount)
                         .arg(stepList[activeStep].label)

    RowLayout {
        id: steps
        anchors.fill: parent
        spacing: 0

        Repeater {
            model: bar.stepCount

            RowLayout {
                id: step
                required property int index
                readonly property int stepState: bar.stepList[index].state
                Layout.fillWidth: index < bar.stepCount - 1
                spacing: 0

                ColumnLayout {
                    Layout.alignment: Qt.AlignTop
                    Layout.preferredWidth: 64
                    spacing: Style.spacingTight

                    StepDot {
                        objectName: "stepDot" + step.index
                        Layout.alignment: Qt.AlignHCenter
                        number: step.index + 1
                        stepState: step.stepState
                    }
                    Text {
                        objectName: "stepLabel" + step.index
                        textFormat: Text.PlainText
                        Layout.alignment: Qt.AlignHCenter
                        text: bar.stepList[step.index].label.toUpperCase()
                        color: step.stepState === 2 ? Style.tertiaryLabel : Style.secondaryLabel
                        font.pixelSize: Style.overlineSize
                        font.weight: Font.Medium
                        font.letterSpacing: 0.3
                    }
                }
                StepLine {
                    visible: step.index < bar.stepCount - 1
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignTop
                    Layout.topMargin: 11
                    Layout.leftMargin: -20
                    Layout.rightMargin: -20
                    stepState: step.stepState
                }
            }
        }
    }
}
