import QtQuick
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Trust

// A labelled date-and-time picker made of three steppers: day (from today on),
// hour and minute. `picked(time)` reports an edit; bind `value` to the model.
RowLayout {
    id: picker

    property string label
    property date value
    property TrustWindowState model
    signal picked(date time)

    function emitPicked() {
        picker.picked(picker.model.composeTime(day.value, hour.value, minute.value));
    }

    spacing: 6

    Text {
        textFormat: Text.PlainText
        text: picker.label
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
        Layout.preferredWidth: 38
    }

    CompactSpinBox {
        id: day
        objectName: picker.objectName + "Day"
        Accessible.name: qsTr("%1 day").arg(picker.label)
        from: 0
        to: 365
        value: picker.model ? Math.max(0, picker.model.dayOffset(picker.value)) : 0
        labelFor: function(v) { return picker.model ? picker.model.dayLabel(v) : "" }
        Layout.fillWidth: true
        onValueModified: picker.emitPicked()
    }

    CompactSpinBox {
        id: hour
        objectName: picker.objectName + "Hour"
        Accessible.name: qsTr("%1 hour").arg(picker.label)
        from: 0
        to: 23
        wrap: true
        value: picker.value.getHours()
        labelFor: function(v) { return (v < 10 ? "0" : "") + v }
        onValueModified: picker.emitPicked()
    }

    Text {
        textFormat: Text.PlainText
        text: qsTr(":")
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
    }

    CompactSpinBox {
        id: minute
        objectName: picker.objectName + "Minute"
        Accessible.name: qsTr("%1 minute").arg(picker.label)
        from: 0
        to: 59
        stepSize: 5
        wrap: true
        value: picker.value.getMinutes()
        labelFor: function(v) { return (v < 10 ? "0" : "") + v }
        onValueModified: picker.emitPicked()
    }
}
