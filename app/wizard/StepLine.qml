import QtQuick
import Quorvane.Style

// The line from one step to the next, in the colour of the step it leaves.
Rectangle {
    property int stepState: 2
    implicitHeight: 2
    radius: 1
    color: stepState === 0 ? Style.teal : Style.separator
}
