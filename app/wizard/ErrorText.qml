import QtQuick
import QtQuick.Controls
import Quorvane.Style

// The wizard's last error, in red, shown only when there is one.
Label {
    textFormat: Text.PlainText
    horizontalAlignment: Text.AlignHCenter
    wrapMode: Text.WordWrap
    visible: text.length > 0
    color: Style.red
    font.pixelSize: Style.captionSize
}
