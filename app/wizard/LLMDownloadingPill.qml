import QtQuick
import Quorvane.Style
import Quorvane.Wizard

// The model download while it runs, with its percentage.
ModelPill {
    objectName: "llmDownloadingPill"
    required property ModelDownload download
    tint: Style.amber
    text: qsTr("Gemma 4 downloading... ") + download.progressText
}
