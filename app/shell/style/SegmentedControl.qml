import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A row of mutually exclusive segments of equal width. `model` is a list of
// labels; `activated(index)` reports a click (bind `currentIndex` to the model
// and change the model in the handler). At least 160 wide, wider when the
// longest label needs it ("Actions (1000)").
Rectangle {
    id: control

    property var model: []
    property int currentIndex: 0
    signal activated(int index)

    implicitWidth: {
        let widest = 0;
        for (const label of control.model)
            widest = Math.max(widest, labelMetrics.advanceWidth(label));
        return Math.max(160, 4 + control.model.length * Math.ceil(widest + 20));
    }
    implicitHeight: 26
    radius: 7
    color: Style.withAlpha("white", 0.08)

    FontMetrics {
        id: labelMetrics
        font.pixelSize: 12
        font.weight: Font.DemiBold
    }

    Row {
        anchors.fill: parent
        anchors.margins: 2

        Repeater {
            model: control.model

            T.AbstractButton {
                id: segment
                objectName: "segment" + index
                required property int index
                required property string modelData
                readonly property bool selected: index === control.currentIndex

                width: (control.width - 4) / Math.max(1, control.model.length)
                height: control.height - 4
                text: modelData
                onClicked: control.activated(index)

                background: Rectangle {
                    radius: 5
                    color: segment.selected ? Style.withAlpha("white", 0.22)
                                            : (segment.down ? Style.withAlpha("white", 0.12) : "transparent")
                }
                contentItem: Text {
                    text: segment.text
                    color: segment.selected ? "white" : Style.secondaryLabel
                    font.pixelSize: 12
                    font.weight: segment.selected ? Font.DemiBold : Font.Normal
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }
            }
        }
    }
}
