import QtQuick
import Quorvane.Style

// A rounded panel in the card fill.
Rectangle {
    radius: 10
    color: Style.cardFill
}
