#pragma once

#include "app/style/ColourContrast.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>
#include <algorithm>
#include <cmath>

// How readable a rendered window is: every shown text against what is drawn
// behind it (4.5:1, large text 3:1), and the outline or track of every switch,
// check box, radio button and text field against what surrounds it (3:1). The
// background is read from the frame itself; the text colour from the item, its
// colour's alpha times the opacity of it and its ancestors. A disabled control
// need not reach the ratios but must be drawn faded.
class ScreenContrast
{
public:
    explicit ScreenContrast(QQuickWindow& window)
        : m_window(window)
        , m_frame(window.grabWindow().convertToFormat(QImage::Format_RGB32))
    {
    }

    const QImage& frame() const { return m_frame; }

    // One line per failure: the item, its text, the ratio found and the one needed.
    // What a modal popup dims behind it is out of reach and not looked at;
    // neither is what an open popup (a drop-down's list) covers.
    QStringList failures()
    {
        m_failures.clear();
        m_popups.clear();
        QQuickItem* overlay = nullptr;
        bool dimmed = false;
        const QList<QQuickItem*> layers = m_window.contentItem()->childItems();
        for (QQuickItem* layer : layers) {
            if (layer->inherits("QQuickOverlay"))
                overlay = layer;
        }
        const QList<QQuickItem*> above = overlay ? overlay->childItems() : QList<QQuickItem*>();
        for (QQuickItem* item : above) {
            if (!item->isVisible())
                continue;
            if (item->inherits("QQuickPopupItem"))
                m_popups << item->mapRectToScene(item->boundingRect());
            else
                dimmed = true;
        }
        if (!dimmed) {
            for (QQuickItem* layer : layers) {
                if (layer != overlay)
                    visit(layer, 1.0);
            }
        }
        m_popups.clear();
        visit(overlay, 1.0);
        return m_failures;
    }

private:
    static constexpr double textRatio = 4.5;
    static constexpr double largeTextRatio = 3.0;
    static constexpr double outlineRatio = 3.0;
    // Drawn at disabledOpacity (0.4) or the buttons' 0.5: what "faded" means here.
    static constexpr double fadedOpacity = 0.6;

    void visit(QQuickItem* item, double opacity)
    {
        if (!item || !item->isVisible())
            return;
        opacity *= item->opacity();
        if (opacity < 0.05)
            return;
        if (!covered(item)) {
            if (isText(item))
                checkText(item, opacity);
            if (QQuickItem* outline = outlineOf(item); outline && item->isEnabled())
                checkOutline(item, outline);
        }
        const QList<QQuickItem*> children = item->childItems();
        for (QQuickItem* child : children)
            visit(child, opacity);
    }

    bool covered(const QQuickItem* item) const
    {
        const QRectF rect = item->mapRectToScene(item->boundingRect());
        return std::any_of(
            m_popups.cbegin(), m_popups.cend(), [&](const QRectF& popup) { return popup.intersects(rect); });
    }

    static bool isText(const QQuickItem* item)
    {
        return item->inherits("QQuickText") || item->inherits("QQuickTextInput")
            || item->inherits("QQuickTextEdit");
    }

    // What shows that a control is there: a switch's track, the box or ring of
    // a check box or radio button, a text field's or drop-down's frame.
    static QQuickItem* outlineOf(const QQuickItem* item)
    {
        if (item->inherits("QQuickSwitch") || item->inherits("QQuickCheckBox")
            || item->inherits("QQuickRadioButton"))
            return qvariant_cast<QQuickItem*>(item->property("indicator"));
        if (item->inherits("QQuickTextField") || item->inherits("QQuickComboBox"))
            return qvariant_cast<QQuickItem*>(item->property("background"));
        return nullptr;
    }

    // The part of the item on screen: inside the window and every clipping ancestor.
    QRect shownRect(const QQuickItem* item, QRectF local) const
    {
        QRectF rect = item->mapRectToScene(local);
        for (const QQuickItem* ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
            if (ancestor->clip())
                rect &= ancestor->mapRectToScene(ancestor->boundingRect());
        }
        const qreal scale = m_frame.devicePixelRatio();
        const QRect pixels(QPoint(int(std::ceil(rect.left() * scale)), int(std::ceil(rect.top() * scale))),
            QPoint(int(std::floor(rect.right() * scale)) - 1, int(std::floor(rect.bottom() * scale)) - 1));
        return pixels & m_frame.rect();
    }

    // Where the glyphs are: the text's content box, placed by its alignment.
    static QRectF contentBox(const QQuickItem* item)
    {
        const double width = item->width();
        const double height = item->height();
        const double contentWidth = std::min(width, item->property("contentWidth").toDouble());
        const double contentHeight = std::min(height, item->property("contentHeight").toDouble());
        if (contentWidth <= 0 || contentHeight <= 0)
            return QRectF(0, 0, width, height);
        const int horizontal = item->property("effectiveHorizontalAlignment").toInt();
        const int vertical = item->property("verticalAlignment").toInt();
        const double x = horizontal & Qt::AlignRight
            ? width - contentWidth
            : (horizontal & Qt::AlignHCenter ? (width - contentWidth) / 2 : 0);
        const double y = vertical & Qt::AlignBottom
            ? height - contentHeight
            : (vertical & Qt::AlignVCenter ? (height - contentHeight) / 2 : 0);
        // A pixel of margin keeps the glyphs' edges inside.
        return QRectF(x - 1, y - 1, contentWidth + 2, contentHeight + 2);
    }

    // The most common colour among the pixels, leaving out those near `skip`.
    QColor dominant(const QList<QRect>& areas, const QColor& skip = {}) const
    {
        QHash<QRgb, int> counts;
        QHash<QRgb, QRgb> sample;
        for (const QRect& area : areas) {
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    const QRgb pixel = m_frame.pixel(x, y);
                    if (skip.isValid() && distance(pixel, skip.rgb()) < 24)
                        continue;
                    const QRgb bin = pixel & 0xfff8f8f8;
                    ++counts[bin];
                    sample.insert(bin, pixel);
                }
            }
        }
        QRgb best = 0;
        int most = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() > most) {
                most = it.value();
                best = it.key();
            }
        }
        return most ? QColor(sample.value(best)) : QColor();
    }

    // Some pixel of the box has the glyphs' colour. Text too close to its
    // background to tell always counts as drawn, and fails.
    bool drawnIn(const QRect& box, const QColor& drawn, const QColor& background) const
    {
        const int tolerance = std::max(12, distance(drawn.rgb(), background.rgb()) / 4);
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                if (distance(m_frame.pixel(x, y), drawn.rgb()) <= tolerance)
                    return true;
            }
        }
        return false;
    }

    static int distance(QRgb a, QRgb b)
    {
        return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
    }

    static QColor over(const QColor& colour, double alpha, const QColor& background)
    {
        const auto channel = [&](double front, double back) { return front * alpha + back * (1.0 - alpha); };
        return QColor::fromRgbF(float(channel(colour.redF(), background.redF())),
            float(channel(colour.greenF(), background.greenF())),
            float(channel(colour.blueF(), background.blueF())));
    }

    static bool isLarge(const QQuickItem* item)
    {
        const QFont font = item->property("font").value<QFont>();
        const double pixels = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96.0 / 72.0;
        return pixels >= 24.0 || (pixels >= 18.66 && font.weight() >= QFont::DemiBold);
    }

    static QString describe(const QQuickItem* item)
    {
        QString text = item->property("text").toString().simplified();
        if (text.size() > 40)
            text = text.left(37) + QStringLiteral("...");
        QString name = item->objectName();
        for (const QQuickItem* up = item->parentItem(); name.isEmpty() && up; up = up->parentItem())
            name = up->objectName().isEmpty() ? QString() : QStringLiteral("in ") + up->objectName();
        return QStringLiteral("%1 (%2) \"%3\"")
            .arg(name, QString::fromLatin1(item->metaObject()->className()), text);
    }

    static QString hex(const QColor& colour) { return colour.name(QColor::HexRgb); }

    void checkText(const QQuickItem* item, double opacity)
    {
        if (item->property("text").toString().trimmed().isEmpty())
            return;
        if (!item->isEnabled()) {
            if (opacity > fadedOpacity)
                m_failures << describe(item)
                        + QStringLiteral(": disabled but drawn at opacity %1").arg(opacity);
            return;
        }
        const QRect box = shownRect(item, contentBox(item));
        if (box.width() < 3 || box.height() < 4)
            return;
        const QColor colour = item->property("color").value<QColor>();
        const double alpha = colour.alphaF() * opacity;
        // Once more without the pixels of the glyphs' colour, for large bold text.
        const QColor first = dominant({ box });
        if (!first.isValid())
            return;
        const QColor background = dominant({ box }, over(colour, alpha, first));
        if (!background.isValid())
            return;
        const QColor drawn = over(colour, alpha, background);
        if (!drawnIn(box, drawn, background))
            return; // under an opaque item drawn above it (a page over the cards)
        const double found = ColourContrast::ratio(drawn, background);
        const double needed = isLarge(item) ? largeTextRatio : textRatio;
        if (found < needed)
            m_failures << describe(item)
                    + QStringLiteral(": %1:1 < %2:1 (%3 on %4)")
                          .arg(found, 0, 'f', 2)
                          .arg(needed)
                          .arg(hex(drawn), hex(background));
    }

    // The outline's strongest pixel on its vertical centre line, near its top
    // and bottom edges (a switch's knob sits at the ends, a box's tick in the
    // middle), against the dominant colour of a band just around it.
    void checkOutline(const QQuickItem* control, const QQuickItem* outline)
    {
        const QRect rect = shownRect(outline, outline->boundingRect());
        if (rect.width() < 6 || rect.height() < 6)
            return;
        const QList<QRect> band
            = { QRect(rect.left() - 5, rect.top() - 5, rect.width() + 10, 3) & m_frame.rect(),
                  QRect(rect.left() - 5, rect.bottom() + 3, rect.width() + 10, 3) & m_frame.rect(),
                  QRect(rect.left() - 5, rect.top(), 3, rect.height()) & m_frame.rect(),
                  QRect(rect.right() + 3, rect.top(), 3, rect.height()) & m_frame.rect() };
        const QColor surroundings = dominant(band);
        if (!surroundings.isValid())
            return;
        const int x = rect.center().x();
        double best = 1.0;
        QColor strongest = surroundings;
        for (int y : { rect.top(), rect.top() + 1, rect.top() + 2, rect.bottom() - 2, rect.bottom() - 1,
                 rect.bottom() }) {
            const QColor pixel(m_frame.pixel(x, y));
            if (ColourContrast::ratio(pixel, surroundings) > best) {
                best = ColourContrast::ratio(pixel, surroundings);
                strongest = pixel;
            }
        }
        if (best < outlineRatio)
            m_failures << describe(control)
                    + QStringLiteral(": outline %1:1 < %2:1 (%3 on %4)")
                          .arg(best, 0, 'f', 2)
                          .arg(outlineRatio)
                          .arg(hex(strongest), hex(surroundings));
    }

    QQuickWindow& m_window;
    QImage m_frame;
    QStringList m_failures;
    QList<QRectF> m_popups;
};
