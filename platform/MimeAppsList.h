#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// The text of a mimeapps.list file (the desktop's default applications and
// added associations), edited line by line so that everything else in it is
// kept byte for byte.
namespace MimeAppsList {

// Larger files are not read.
constexpr qsizetype maximumSize = 1024 * 1024;

struct Edit
{
    QByteArray text;
    int removed = 0; // associations taken out
};

// Takes the desktop entries (file names such as "quorvane.desktop") for which
// isRemoved holds out of the mimeType key of the "Default Applications" and
// "Added Associations" groups; a key left without entries goes. Each key that
// lost an entry counts as one removed association. Text larger than
// maximumSize is left as it is.
Edit withoutAssociations(const QByteArray& text, const QByteArray& mimeType,
                         const std::function<bool(const QString&)>& isRemoved);

// The first desktop entry the "Default Applications" group names for mimeType.
std::optional<QString> defaultFor(const QByteArray& text, const QByteArray& mimeType);

// The text with desktopId as the default for mimeType: the key's line in the
// "Default Applications" group replaced, or added at the group's end, or the
// group added. Nothing for text larger than maximumSize.
std::optional<QByteArray> withDefault(const QByteArray& text, const QByteArray& mimeType, const QString& desktopId);

// The file's bytes; empty when it does not exist, nothing when it cannot be
// read, is larger than maximumSize or is not a regular file (DesktopEntryText::read).
std::optional<QByteArray> readFile(const QString& path);

} // namespace MimeAppsList
