import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style
import Quorvane.Wizard

// One detected tool on the configure screen: govern it or not, and, expanded,
// how: one agent for all projects (with the allow-listed folder) or one agent
// per chosen project folder. Every change goes straight into the tools model.
Card {
    id: section
    required property AgentConfiguration configuration
    required property var model
    required property int index
    readonly property bool perProject: model.scope === 1 // ScopeChoice::perProject
    readonly property var scopes: configuration.scopeChoices()

    implicitHeight: column.implicitHeight + 2 * Style.spacingSmall

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: Style.spacingSmall
        spacing: Style.spacingTight

        RowLayout {
            Layout.fillWidth: true
            spacing: Style.spacingSmall

            TickBox {
                objectName: "toolEnabled"
                checked: section.model.enabled
                Accessible.name: qsTr("Protect %1").arg(section.model.name)
                onToggled: section.model.enabled = checked
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 0
                Label {
                    objectName: "toolName"
                    textFormat: Text.PlainText
                    Layout.fillWidth: true
                    elide: Text.ElideRight
                    text: section.model.name
                    color: Style.label
                    font.pixelSize: Style.bodySize
                    font.weight: Font.DemiBold
                }
                Label {
                    objectName: "toolSubtitle"
                    textFormat: Text.PlainText
                    Layout.fillWidth: true
                    elide: Text.ElideRight
                    visible: text.length > 0
                    text: section.model.subtitle
                    color: Style.secondaryLabel
                    font.pixelSize: Style.footnoteSize
                }
            }
            DisclosureButton {
                objectName: "toolExpand"
                expanded: section.model.expanded
                Accessible.name: section.model.expanded ? qsTr("Hide scope of %1").arg(section.model.name)
                                                        : qsTr("Choose scope of %1").arg(section.model.name)
                onClicked: section.model.expanded = !section.model.expanded
            }
        }

        ColumnLayout {
            objectName: "toolDetails"
            visible: section.model.expanded
            Layout.fillWidth: true
            Layout.leftMargin: Style.spacingLarge
            spacing: Style.spacingTight

            Repeater {
                model: section.scopes
                ScopeRadio {
                    required property var modelData
                    required property int index
                    objectName: index === 0 ? "scopeAllProjects" : "scopePerProject"
                    label: modelData.label
                    sublabel: modelData.sublabel
                    selected: section.model.scope === index
                    onChosen: section.model.scope = index
                }
            }

            // All projects: the folder the agent is allow-listed for.
            TickBox {
                objectName: "projectsRootEnabled"
                visible: !section.perProject && section.model.projectsRoot.length > 0
                checked: section.model.projectsRootEnabled
                text: qsTr("Allowlist projects folder")
                Accessible.name: text
                onToggled: section.model.projectsRootEnabled = checked
            }
            TextEntry {
                objectName: "projectsRootField"
                Layout.fillWidth: true
                visible: !section.perProject && section.model.projectsRootEnabled
                text: section.model.projectsRoot
                placeholderText: qsTr("path")
                maximumLength: 4096
                Accessible.name: qsTr("Projects folder")
                onTextEdited: section.model.projectsRoot = text
            }

            // Per project: the folders the tool has worked in. The rows are
            // counted, not taken from the list: a changed selection then
            // updates its row in place, and the check box keeps the keyboard.
            Repeater {
                model: section.perProject ? section.model.projects.length : 0
                ProjectRow {
                    required property int index
                    readonly property var project: section.model.projects[index]
                    Layout.fillWidth: true
                    path: project ? project.path : ""
                    lastUsed: project ? project.lastUsed : ""
                    selected: project ? project.selected : false
                    onToggled: selected => section.configuration.detectedTools.setProjectSelected(section.index, index,
                                                                                                selected)
                }
            }
        }
    }
}
