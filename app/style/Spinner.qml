import QtQuick
import QtQuick.Templates as T
import Quorvane.Style

// A small turning arc for work in progress (drawn by our own style, like ScrollBarThin).
T.BusyIndicator {
    id: control

    implicitWidth: 14
    implicitHeight: 14

    contentItem: Canvas {
        id: arc
        visible: control.running
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onPaint: {
            const ctx = getContext("2d");
            ctx.reset();
            const radius = Math.min(width, height) / 2 - 1.5;
            if (radius <= 0)
                return;
            ctx.lineWidth = 2;
            ctx.lineCap = "round";
            ctx.strokeStyle = Style.withAlpha(Style.secondaryLabel, 0.25);
            ctx.beginPath();
            ctx.arc(width / 2, height / 2, radius, 0, 2 * Math.PI);
            ctx.stroke();
            ctx.strokeStyle = Style.secondaryLabel;
            ctx.beginPath();
            ctx.arc(width / 2, height / 2, radius, 0, Math.PI / 2);
            ctx.stroke();
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 1000
            loops: Animation.Infinite
            running: control.running && control.visible
        }
    }
}
