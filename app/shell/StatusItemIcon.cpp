#include "app/shell/StatusItemIcon.h"

#include <QCoreApplication>

StatusItemIcon StatusItemIcon::forState(bool muted, int count)
{
    StatusItemIcon icon;
    icon.count = count > 0 ? count : 0;
    icon.title = icon.count > 0 ? QStringLiteral(" %1").arg(icon.count) : QString();
    if (muted) {
        icon.symbol = QStringLiteral("shield-muted");
        icon.accessibility = QCoreApplication::translate("StatusItemIcon", "Quorvane (muted)");
        icon.greyed = true;
    } else {
        icon.symbol = icon.count > 0 ? QStringLiteral("shield-filled") : QStringLiteral("shield-outline");
        icon.accessibility = QStringLiteral("Quorvane");
    }
    return icon;
}

QString StatusItemIcon::toolTip() const
{
    const QString first = count == 0
        ? accessibility
        : QCoreApplication::translate("StatusItemIcon", "%1 —%2 pending").arg(accessibility, title);
    return note.isEmpty() ? first : first + u'\n' + note;
}

QString StatusItemIcon::resourcePath() const
{
    return QStringLiteral(":/quorvane/icons/") + symbol + QStringLiteral(".svg");
}
