import QtQuick
import Quorvane.Style

// One scope choice of a tool: its label and, greyed, what it means.
RadioChoice {
    id: radio
    // Styled text: our own words only, never text from outside.
    property string label
    property string sublabel
    property bool selected
    signal chosen()

    checked: selected
    text: label + " " + sublabel
    Accessible.name: text
    onClicked: radio.chosen()

    contentItem: Text {
        leftPadding: radio.indicator.width + radio.spacing
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.StyledText
        text: "%1 <font color=\"%2\">%3</font>".arg(radio.label).arg(Style.secondaryLabel).arg(radio.sublabel)
        color: Style.label
        font.pixelSize: Style.captionSize
    }
}
