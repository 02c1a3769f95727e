import QtQuick
import QtQuick.Controls
import Quorvane.Style

// The base of every window: the background and controls of the current palette.
ApplicationWindow {
    color: Style.windowBackground
    palette.window: Style.windowBackground
    palette.windowText: Style.label
    palette.text: Style.label
    palette.buttonText: Style.label
    palette.highlight: Style.teal
    palette.highlightedText: "white"
}
