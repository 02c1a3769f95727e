import QtQuick
import QtQuick.Layouts
import Quorvane.Style

// A full-width action button: teal for normal actions, red for removing ones.
FilledButton {
    property string title
    property bool destructive: false

    Layout.fillWidth: true
    text: title
    color: destructive ? Style.red : Style.teal
    Accessible.name: title
}
