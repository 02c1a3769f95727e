#include "app/shell/TrayIconRenderer.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace TrayIconRenderer {

QString badgeText(int count)
{
    if (count <= 0)
        return {};
    if (count > 99)
        return QStringLiteral("99+");
    return QString::number(count);
}

namespace {

const QColor onDark(0xf2, 0xf2, 0xf7);
const QColor onLight(0x1c, 0x1c, 0x1e);

} // namespace

QColor barLabelColour(ColorSchemePreference::Scheme scheme)
{
    return scheme == ColorSchemePreference::Scheme::preferLight ? onLight : onDark;
}

QColor labelColour(ColorSchemePreference::Scheme scheme, const QPalette& palette)
{
    switch (scheme) {
    case ColorSchemePreference::Scheme::preferDark:
        return onDark;
    case ColorSchemePreference::Scheme::preferLight:
        return onLight;
    case ColorSchemePreference::Scheme::noPreference:
        break;
    }
    return palette.color(QPalette::Window).lightness() < 128 ? onDark : onLight;
}

QImage render(const StatusItemIcon& icon, int size, const QColor& labelColour)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (size <= 0)
        return image;

    // The symbol as a mask, painted in the label colour.
    const QPixmap symbol = QIcon(icon.resourcePath()).pixmap(QSize(size, size));
    QColor colour = labelColour;
    if (icon.greyed)
        colour.setAlphaF(0.45);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawPixmap(QRect(0, 0, size, size), symbol);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), colour);
    }

    const QString text = badgeText(icon.count);
    if (text.isEmpty())
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int diameter = size * 11 / 20;
    const QRectF badge(size - diameter - (text.size() > 1 ? size / 10 : 0), size - diameter,
                       diameter + (text.size() > 1 ? size / 10 : 0), diameter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(icon.greyed ? QColor(0x8a, 0x8a, 0x8e) : QColor(0xe5, 0x48, 0x4d));
    painter.drawRoundedRect(badge, diameter / 2.0, diameter / 2.0);
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(6, diameter * (text.size() > 2 ? 5 : 7) / 10));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, text);
    return image;
}

QIcon icon(const StatusItemIcon& statusIcon, const QColor& labelColour)
{
    QIcon result;
    for (const int size : sizes)
        result.addPixmap(QPixmap::fromImage(render(statusIcon, size, labelColour)));
    return result;
}

} // namespace TrayIconRenderer
