#include "app/shell/StatusItemIcon.h"

StatusItemIcon StatusItemIcon::forState(bool muted, int count)
{
    StatusItemIcon icon;
    icon.count = count > 0 ? count : 0;
    icon.title = icon.count > 0 ? QStringLiteral(" %1").arg(icon.count) : QString();
    if (muted) {
        icon.symbol = QStringLiteral("lock.shield.muted");
        icon.accessibility = QStringLiteral("Quorvane (muted)");
        icon.greyed = true;
    } else {
        icon.symbol = icon.count > 0 ? QStringLiteral("lock.shield.fill") : QStringLiteral("lock.shield");
        icon.accessibility = QStringLiteral("Quorvane");
    }
    return icon;
}

QString StatusItemIcon::toolTip() const
{
    if (count == 0)
        return accessibility;
    return accessibility + QStringLiteral(" —") + title + QStringLiteral(" pending");
}

QString StatusItemIcon::resourcePath() const
{
    return QStringLiteral(":/quorvane/icons/") + symbol + QStringLiteral(".svg");
}
