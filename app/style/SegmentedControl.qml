import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A row of mutually exclusive segments. `model` is a list of labels;
// `activated(index)` reports a click (bind `currentIndex` to the model and
// change the model in the handler). Segments share 160 points equally; one
// whose label needs more ("Actions (1000)") grows by just that.
Rectangle {
    id: control

    property var model: []
    property int currentIndex: 0
    signal activated(int index)

    readonly property real equalShare: (160 - 4) / Math.max(1, model.length)
    function naturalWidth(label) {
        return Math.max(equalShare, Math.ceil(labelMetrics.advanceWidth(label)) + 12);
    }

    implicitWidth: {
        let total = 4;
        for (const label of control.model)
            total += naturalWidth(label);
        return total;
    }
    implicitHeight: 26
    radius: 7
    color: Style.withAlpha(Style.label, 0.08)

    FontMetrics {
        id: labelMetrics
        font.pixelSize: Style.captionSize
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

                // Scaled when the control is given another width than its own.
                width: control.naturalWidth(modelData) * (control.width - 4) / (control.implicitWidth - 4)
                height: control.height - 4
                text: modelData
                onClicked: control.activated(index)
                Accessible.role: Accessible.PageTab
                Accessible.name: modelData
                Accessible.checked: selected

                FocusRing { control: segment; cornerRadius: 5 }

                background: Rectangle {
                    radius: 5
                    color: segment.selected ? Style.withAlpha(Style.label, 0.22)
                                            : (segment.down ? Style.withAlpha(Style.label, 0.12) : "transparent")
                }
                contentItem: Text {
                    textFormat: Text.PlainText
                    text: segment.text
                    color: segment.selected ? Style.label : Style.secondaryLabel
                    font.pixelSize: Style.captionSize
                    font.weight: segment.selected ? Font.DemiBold : Font.Normal
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }
            }
        }
    }
}
