import QtQuick

// A hairline drawn just inside a rounded shape, fading from `topOpacity` white at
// the top edge to clear at the vertical centre.
Canvas {
    id: highlight

    property real cornerRadius: 8
    property real topOpacity: 0.22
    property real lineWidth: 0.5

    onTopOpacityChanged: requestPaint()
    onCornerRadiusChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    onPaint: {
        const ctx = getContext("2d");
        ctx.reset();
        if (width <= 0 || height <= 0)
            return;
        const inset = lineWidth / 2;
        const gradient = ctx.createLinearGradient(0, 0, 0, height / 2);
        gradient.addColorStop(0, Qt.rgba(1, 1, 1, topOpacity));
        gradient.addColorStop(1, Qt.rgba(1, 1, 1, 0));
        ctx.strokeStyle = gradient;
        ctx.lineWidth = lineWidth;
        const r = Math.max(0, Math.min(cornerRadius - inset, (height - lineWidth) / 2, (width - lineWidth) / 2));
        ctx.beginPath();
        ctx.roundedRect(inset, inset, width - lineWidth, height - lineWidth, r, r);
        ctx.stroke();
    }
}
