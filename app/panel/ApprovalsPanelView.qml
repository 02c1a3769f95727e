import QtQuick
import QtQuick.Templates as T
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Panel

// The popover's content: header with the tabs, the trust-window and update
// banners, the pending actions (or one action's detail page, or the "Pause"
// tab), and the way to the dashboard. Every state lives in `panel`.
Rectangle {
    id: root
    objectName: "approvalsPanelView"

    required property ApprovalsPanel panel

    width: 360
    height: implicitHeight
    implicitWidth: 360
    // The natural height of everything; the window may be given less (a short
    // screen), and then only the tab content shrinks and scrolls.
    implicitHeight: top.implicitHeight + content.implicitHeight + bottom.implicitHeight
    color: Style.windowBackground

    // Keys that no control took: the popover is used from the keyboard first.
    focus: true
    Keys.onPressed: function(event) {
        if (root.panel.pressKey(event.key, event.modifiers))
            event.accepted = true
    }

    ColumnLayout {
        id: top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        spacing: 0

        // Header: the shield, the name and the two tabs.
        RowLayout {
            objectName: "header"
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.topMargin: 10
            Layout.bottomMargin: 10
            spacing: 7

            Image {
                source: Qt.resolvedUrl("icons/shield-filled.svg")
                sourceSize.width: 18
                sourceSize.height: 18
            }
            Text {
                objectName: "headerTitle"
                textFormat: Text.PlainText
                text: qsTr("Quorvane")
                color: Style.label
                font.pixelSize: Style.bodySize
                font.weight: Font.Bold
            }
            Item { Layout.fillWidth: true }
            SegmentedControl {
                objectName: "tabPicker"
                model: [root.panel.actionsTabLabel, qsTr("Pause")]
                currentIndex: root.panel.selectedTab === "pause" ? 1 : 0
                onActivated: function(index) { root.panel.selectedTab = index === 1 ? "pause" : "actions" }
            }
        }

        FreezeBar {
            Layout.fillWidth: true
            Layout.bottomMargin: 6
            freeze: root.panel.freeze
        }

        RowLayout {
            objectName: "autoOpenPaused"
            visible: root.panel.autoOpenPaused
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 8
            Layout.bottomMargin: 6
            Text {
                Layout.fillWidth: true
                text: qsTr("Paused: the popover does not open for new requests.")
                textFormat: Text.PlainText
                color: Style.secondaryLabel
                font.pixelSize: Style.footnoteSize
                wrapMode: Text.Wrap
            }
            PlainButton {
                objectName: "resumeButton"
                text: qsTr("Resume")
                pixelSize: Style.captionSize
                onClicked: root.panel.resume()
            }
        }

        // The trust-window views are loaded by address, only while shown.
        Loader {
            id: trustBanner
            Layout.fillWidth: true
            active: root.panel.trust.showsBanner
            visible: active
            source: "qrc:/qt/qml/Quorvane/Trust/TrustWindowBanner.qml"
            onLoaded: item.model = Qt.binding(function() { return root.panel.trust })
        }
        Connections {
            target: trustBanner.item
            ignoreUnknownSignals: true
            function onCancelRequested() { root.panel.trust.startDeactivate() }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Style.separator
        }

        Text { textFormat: Text.PlainText; objectName: "identityRefused"; Layout.fillWidth: true; Layout.margins: 12; visible: text !== ""; text: root.panel.identityRefusedText; color: Style.label; wrapMode: Text.Wrap; font.pixelSize: Style.captionSize }
        PlainButton {
            objectName: "setUpAgainButton"
            Layout.leftMargin: 12
            Layout.bottomMargin: 6
            visible: root.panel.identityRefusedText !== ""
            text: qsTr("Set up this machine again")
            pixelSize: Style.captionSize
            onClicked: root.panel.setUpAgain()
        }

        // Whether the back-end is reached, and why not.
        Text {
            objectName: "connectionStatus"
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.bottomMargin: 6
            visible: text !== ""
            text: root.panel.connection.text
            textFormat: Text.PlainText
            color: root.panel.connection.isOffline ? Style.amber : Style.green
            font.pixelSize: Style.captionSize
            wrapMode: Text.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            objectName: "connectionDetail"
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.bottomMargin: 6
            visible: text !== ""
            text: root.panel.connection.detail
            textFormat: Text.PlainText
            color: Style.secondaryLabel
            font.pixelSize: Style.footnoteSize
            wrapMode: Text.Wrap
        }

        // What became of a decision whose row has gone.
        RowLayout {
            objectName: "decisionNotice"
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 8
            Layout.bottomMargin: 6
            visible: root.panel.notice !== ""
            Text {
                objectName: "decisionNoticeText"
                Layout.fillWidth: true
                text: root.panel.notice
                textFormat: Text.PlainText
                color: Style.label
                font.pixelSize: Style.captionSize
                wrapMode: Text.Wrap
            }
            PlainButton {
                objectName: "decisionNoticeDismiss"
                text: qsTr("OK")
                onClicked: root.panel.dismissNotice()
            }
        }

        UpdateBanner {
            Layout.fillWidth: true
            visible: root.panel.updateBanner.visible
            updateState: root.panel.updateBanner
        }
    }

    Loader {
        id: content
        objectName: "tabContent"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: top.bottom
        anchors.bottom: bottom.top
        readonly property string kind: root.panel.content
        sourceComponent: kind === "pause" ? pauseComponent
                       : kind === "detail" ? detailComponent
                       : kind === "list" ? listComponent
                       : emptyComponent
        onLoaded: fadeIn.restart()
        NumberAnimation {
            id: fadeIn
            target: content.item
            property: "opacity"
            from: 0
            to: 1
            duration: 200
            easing.type: Easing.InOutQuad
        }
    }

    ColumnLayout {
        id: bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Style.separator
        }

        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 6
            Layout.bottomMargin: 6
            spacing: 24
            PlainButton {
                objectName: "openDashboardButton"
                text: qsTr("Open Quorvane")
                pixelSize: Style.captionSize
                onClicked: root.panel.openDashboard()
            }
            // No tray menu to quit from: quitting is offered here.
            PlainButton {
                objectName: "quitWithoutTrayButton"
                visible: root.panel.quitOffer.offered
                text: qsTr("Quit Quorvane")
                pixelSize: Style.captionSize
                onClicked: root.panel.quitOffer.quit()
            }
        }
    }

    Component {
        id: pauseComponent
        Flickable {
            id: pauseFlick
            implicitHeight: pause.implicitHeight
            contentWidth: width
            contentHeight: pause.implicitHeight
            boundsBehavior: Flickable.StopAtBounds
            clip: true
            T.ScrollBar.vertical: ScrollBarThin {
                policy: pauseFlick.contentHeight > pauseFlick.height ? T.ScrollBar.AlwaysOn : T.ScrollBar.AsNeeded
            }
            Loader {
                id: pause
                width: pauseFlick.width
                source: "qrc:/qt/qml/Quorvane/Trust/PauseTab.qml"
                onLoaded: item.model = Qt.binding(function() { return root.panel.trust })
            }
        }
    }

    Component {
        id: detailComponent
        ActionDetailView {
            panel: root.panel
        }
    }

    Component {
        id: listComponent
        ListView {
            id: list
            objectName: "pendingList"
            implicitHeight: Math.min(contentHeight + topMargin + bottomMargin, 600)
            topMargin: 4
            bottomMargin: 4
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: root.panel.actions
            reuseItems: true
            currentIndex: root.panel.highlightedIndex
            highlightMoveDuration: 0
            T.ScrollBar.vertical: ScrollBarThin {
                policy: list.contentHeight > list.height ? T.ScrollBar.AlwaysOn : T.ScrollBar.AsNeeded
            }
            delegate: PendingRow {
                width: list.width
                panel: root.panel
            }
        }
    }

    Component {
        id: emptyComponent
        Item {
            implicitHeight: 96
            Text {
                objectName: "emptyText"
                textFormat: Text.PlainText
                anchors.centerIn: parent
                text: qsTr("No pending actions")
                color: Style.secondaryLabel
                font.pixelSize: Style.calloutSize
            }
        }
    }
}
