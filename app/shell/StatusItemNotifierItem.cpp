#include "app/shell/StatusItemNotifierItem.h"

#include "app/shell/TrayIconRenderer.h"

#include <QtEndian>

namespace {

// ARGB32 in network byte order, as StatusNotifierItem hosts read icons.
StatusNotifierTypes::Pixmap pixmapOf(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    StatusNotifierTypes::Pixmap pixmap{argb.width(), argb.height(), {}};
    pixmap.argb.resize(qsizetype(argb.width()) * argb.height() * 4);
    auto* out = reinterpret_cast<quint32*>(pixmap.argb.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            *out++ = qToBigEndian(line[x]);
    }
    return pixmap;
}

} // namespace

StatusItemNotifierItem::StatusItemNotifierItem(QDBusConnection bus, QObject* parent)
    : StatusItem(parent)
    , m_item(std::move(bus))
    , m_ownMenu(std::make_unique<QMenu>())
    , m_labelColour(TrayIconRenderer::barLabelColour(ColorSchemePreference::Scheme::noPreference))
{
    connect(&m_item, &StatusNotifierItem::activated, this, &StatusItemNotifierItem::onActivated);
    connect(&m_item, &StatusNotifierItem::contextMenuRequested, this, &StatusItemNotifierItem::showOwnMenu);
    connect(&m_item, &StatusNotifierItem::menuEntryChosen, this, [this](int index) {
        if (index >= 0 && index < m_entries.size())
            Q_EMIT menuTriggered(m_entries.at(index).action);
    });
}

StatusItemNotifierItem::~StatusItemNotifierItem() = default;

void StatusItemNotifierItem::setIcon(const StatusItemIcon& icon)
{
    if (m_hasIcon && icon == m_icon)
        return;
    m_icon = icon;
    m_hasIcon = true;
    redraw();
    const QString tip = icon.toolTip();
    const qsizetype lineBreak = tip.indexOf(u'\n');
    m_item.setToolTip(tip.left(lineBreak), lineBreak < 0 ? QString() : tip.mid(lineBreak + 1));
    m_item.setNeedsAttention(icon.count > 0 && !icon.greyed);
}

void StatusItemNotifierItem::setColorScheme(ColorSchemePreference::Scheme scheme)
{
    const QColor colour = TrayIconRenderer::barLabelColour(scheme);
    if (colour == m_labelColour)
        return;
    m_labelColour = colour;
    if (m_hasIcon)
        redraw();
}

void StatusItemNotifierItem::redraw()
{
    StatusNotifierTypes::PixmapList sizes;
    for (const int size : TrayIconRenderer::sizes)
        sizes.append(pixmapOf(TrayIconRenderer::render(m_icon, size, m_labelColour)));
    m_item.setIcon(sizes);
}

void StatusItemNotifierItem::setMenu(const QList<MenuEntry>& entries)
{
    m_entries = entries;
    QStringList labels;
    m_ownMenu->clear();
    for (const MenuEntry& entry : entries) {
        labels << entry.text;
        const MenuAction which = entry.action;
        connect(m_ownMenu->addAction(entry.text), &QAction::triggered, this, [this, which] { Q_EMIT menuTriggered(which); });
    }
    m_item.setMenu(labels);
}

QRect StatusItemNotifierItem::geometry() const
{
    if (!m_clickPoint)
        return {};
    return QRect(*m_clickPoint - QPoint(iconSize / 2, iconSize / 2), QSize(iconSize, iconSize));
}

void StatusItemNotifierItem::onActivated(const QPoint& point)
{
    // Hosts that do not know where the icon is send (0, 0).
    if (!point.isNull())
        m_clickPoint = point;
    Q_EMIT clicked(Click::left);
}

void StatusItemNotifierItem::showOwnMenu(const QPoint& point)
{
    if (!point.isNull())
        m_clickPoint = point;
    m_ownMenu->popup(point);
}
