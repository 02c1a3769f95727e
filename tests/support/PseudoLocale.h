#pragma once

#include <QByteArray>
#include <QQuickItem>
#include <QRegularExpression>
#include <QStringList>

// The pseudo-locale (en_XA) shows every text of our catalogue between ⟪ and
// ⟫ (tools/i18n/pseudo-translate). A text shown without them was never made
// translatable, unless it came from outside the program: an agent's name, a
// command, a version, what the person typed.
namespace PseudoLocale {

inline const QByteArray language = QByteArrayLiteral("en_XA");

inline bool isActive()
{
    return qgetenv("LANGUAGE") == language;
}

// What is left of `text` once the outside texts and every translated piece
// are taken out; letters left in it were not translated.
inline QString untranslatedPart(QString text, const QStringList& outside)
{
    for (const QString& data : outside)
        text.remove(data);
    // The markup of a rich text (<font color="...">) is no text.
    static const QRegularExpression markup(QStringLiteral("<[^>]*>"));
    text.remove(markup);
    // Innermost first: a translated text may hold another as an argument.
    static const QRegularExpression translated(QStringLiteral("⟪[^⟪⟫]*⟫"));
    for (qsizetype before = -1; before != text.size();) {
        before = text.size();
        text.remove(translated);
    }
    return text;
}

inline void collect(QQuickItem* item, const QStringList& outside, QStringList& found)
{
    // A page still fading in (opacity 0) counts: its texts are on their way.
    if (!item || !item->isVisible())
        return;
    for (const char* property : { "text", "placeholderText", "title" }) {
        const QString text = item->property(property).toString();
        // A lone character is a glyph (the info box's circled "i"), not a word.
        const QString rest = text.size() > 1 ? untranslatedPart(text, outside) : QString();
        if (std::any_of(rest.cbegin(), rest.cend(), [](QChar c) { return c.isLetter(); }))
            found << QStringLiteral("%1 %2 (%3): %4")
                         .arg(QString::fromLatin1(item->metaObject()->className()), item->objectName(),
                             QString::fromLatin1(property), text);
    }
    const QList<QQuickItem*> children = item->childItems();
    for (QQuickItem* child : children)
        collect(child, outside, found);
}

// Every visible text under `root` that shows letters of ours untranslated.
inline QStringList untranslatedTexts(QQuickItem* root, const QStringList& outside)
{
    QStringList found;
    collect(root, outside, found);
    found.removeDuplicates();
    return found;
}

} // namespace PseudoLocale
