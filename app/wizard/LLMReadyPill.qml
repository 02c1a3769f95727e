import QtQuick
import Quorvane.Style

// The model is on this machine.
ModelPill {
    objectName: "llmReadyPill"
    tint: Style.green
    text: qsTr("Gemma 4 ready")
}
