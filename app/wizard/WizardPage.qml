import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// The frame of every screen after the welcome: title and lead text, the
// content in a column that scrolls when it is taller than the window, and a
// footer that always stays in the window (the screen's main button and its
// link). Enter presses `defaultButton` while it is shown and enabled.
Control {
    id: page
    property string title
    property string subtitle
    property Item defaultButton
    default property alias content: column.data
    property alias footer: footerColumn.data
    // Contents, stacked at their natural heights.
    readonly property real naturalHeight: header.implicitHeight + column.implicitHeight + footerColumn.implicitHeight
                                          + 4 * Style.spacingLarge

    implicitWidth: 540
    implicitHeight: naturalHeight
    focus: true
    focusPolicy: Qt.NoFocus

    function pressDefault() {
        if (page.defaultButton && page.defaultButton.visible && page.defaultButton.enabled)
            page.defaultButton.clicked()
    }
    Keys.onReturnPressed: pressDefault()
    Keys.onEnterPressed: pressDefault()

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: Style.spacing
        anchors.bottomMargin: Style.spacing
        spacing: Style.spacing

        Flickable {
            id: flick
            objectName: "pageScroll"
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: width
            contentHeight: scrolled.implicitHeight
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBarThin {
                policy: flick.contentHeight > flick.height ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded
            }

            ColumnLayout {
                id: scrolled
                x: Math.max(Style.spacingLarge, (flick.width - width) / 2)
                width: Math.min(flick.width - 2 * Style.spacingLarge, Style.contentWidth)
                spacing: Style.spacing

                ColumnLayout {
                    id: header
                    Layout.fillWidth: true
                    spacing: Style.spacingSmall

                    Label {
                        objectName: "pageTitle"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: text.length > 0
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.WordWrap
                        text: page.title
                        color: Style.label
                        font.pixelSize: Style.titleSize
                        font.bold: true
                    }
                    Label {
                        objectName: "pageSubtitle"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.WordWrap
                        visible: text.length > 0
                        text: page.subtitle
                        color: Style.secondaryLabel
                        font.pixelSize: Style.bodySize
                    }
                }
                ColumnLayout {
                    id: column
                    Layout.fillWidth: true
                    spacing: Style.spacing
                }
            }
        }

        // Whatever the content's height, the footer keeps its place.
        ColumnLayout {
            id: footerColumn
            objectName: "pageFooter"
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: Math.min(page.width - 2 * Style.spacingLarge, Style.contentWidth)
            spacing: Style.spacingSmall
        }
    }
}
