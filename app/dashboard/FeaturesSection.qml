import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvane.Style

// The "Features" card: the local AI model, the activity analysis and the
// "MCP AI Summaries" switch.
SectionCard {
    id: section
    objectName: "featuresCard"
    title: qsTr("Features")
    required property var home
    readonly property var runtime: home.modelRuntime

    component FeatureText: ColumnLayout {
        property string title
        property string subtitle
        Layout.fillWidth: true
        spacing: Style.spacingTight
        Label { textFormat: Text.PlainText; text: parent.title; color: Style.label; font.pixelSize: Style.bodySize; font.bold: true }
        Label {
            textFormat: Text.PlainText
            text: parent.subtitle
            color: Style.secondaryLabel
            font.pixelSize: Style.captionSize
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }
    component Status: Label {
        textFormat: Text.PlainText
        color: Style.secondaryLabel
        font.pixelSize: Style.captionSize
    }

    // 1. The local model.
    RowLayout {
        objectName: "modelRow"
        Layout.fillWidth: true
        spacing: Style.spacingSmall
        FeatureText {
            objectName: "modelText"
            title: qsTr("Local AI Model")
            // Why the runtime cannot be installed, or what went wrong last time.
            subtitle: section.runtime.runtimeError !== "" ? section.runtime.runtimeError
                    : section.runtime.runtimeBlockedReason !== "" ? section.runtime.runtimeBlockedReason
                    : qsTr("Gemma 4 via Ollama")
        }
        Status {
            objectName: "modelInstalled"
            visible: section.runtime.gemmaInstalled
            text: qsTr("Installed")
            color: Style.green
        }
        ProgressLine {
            objectName: "modelProgress"
            visible: !section.runtime.gemmaInstalled && section.runtime.llmInstalling
            value: section.runtime.llmProgress
            Accessible.name: qsTr("Model download")
        }
        Status {
            objectName: "modelPercent"
            visible: !section.runtime.gemmaInstalled && section.runtime.llmInstalling
            text: section.home.percentText(section.runtime.llmProgress)
        }
        OutlinedButton {
            objectName: "downloadModelButton"
            visible: !section.runtime.gemmaInstalled && !section.runtime.llmInstalling && section.runtime.ollamaInstalled
            text: qsTr("Download")
            Accessible.name: qsTr("Download the local AI model")
            onClicked: section.runtime.installModel()
        }
        OutlinedButton {
            objectName: "installRuntimeButton"
            visible: !section.runtime.gemmaInstalled && !section.runtime.llmInstalling && !section.runtime.ollamaInstalled
                     && section.runtime.runtimeBlockedReason === ""
            enabled: !section.runtime.runtimeInstalling
            text: section.runtime.runtimeInstalling ? qsTr("Installing…") : qsTr("Install")
            Accessible.name: qsTr("Install the local AI model")
            onClicked: section.runtime.installRuntime()
        }
        Status {
            objectName: "modelNotInstalled"
            visible: !section.runtime.gemmaInstalled && !section.runtime.llmInstalling && !section.runtime.ollamaInstalled
                     && section.runtime.runtimeBlockedReason !== ""
            text: qsTr("Not installed")
        }
    }

    // 2. The activity analysis.
    RowLayout {
        objectName: "analysisRow"
        Layout.fillWidth: true
        spacing: Style.spacingSmall
        FeatureText {
            objectName: "analysisText"
            title: qsTr("Activity Analysis")
            subtitle: section.home.analysisSubtitle
        }
        Spinner { visible: section.home.analysisRunning; running: section.home.analysisRunning }
        Status {
            objectName: "analysisScanning"
            visible: section.home.analysisRunning
            text: qsTr("Scanning...")
        }
        OutlinedButton {
            objectName: "cancelAnalysisButton"
            visible: section.home.analysisRunning
            text: qsTr("Cancel")
            Accessible.name: qsTr("Cancel the activity analysis")
            onClicked: section.home.cancelAnalysis()
        }
        Status {
            objectName: "requiresLlm"
            visible: !section.home.analysisRunning && !section.runtime.gemmaInstalled
            text: qsTr("Requires LLM")
        }
        OutlinedButton {
            objectName: "rescanButton"
            visible: !section.home.analysisRunning && section.runtime.gemmaInstalled
            text: qsTr("Re-scan")
            Accessible.name: qsTr("Re-scan tool history")
            onClicked: section.home.startAnalysis()
        }
    }

    // 3. Summaries of MCP actions by the local model.
    RowLayout {
        Layout.fillWidth: true
        spacing: Style.spacingSmall
        FeatureText {
            title: qsTr("MCP AI Summaries")
            subtitle: qsTr("Gemma 4 describes MCP actions before approval")
        }
        // Why the switch is off limits, beside it.
        Status {
            objectName: "mcpSummaryUnavailable"
            visible: text !== ""
            text: section.runtime.modelMissingReason
            horizontalAlignment: Text.AlignRight
            font.pixelSize: Style.footnoteSize
            wrapMode: Text.Wrap
            Layout.maximumWidth: 150
        }
        ToggleSwitch {
            objectName: "mcpSummarySwitch"
            enabled: section.runtime.gemmaInstalled
            checked: section.home.mcpLlmSummary
            Accessible.name: qsTr("MCP AI Summaries")
            onToggled: section.home.mcpLlmSummary = checked
        }
    }
}
