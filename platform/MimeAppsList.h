#pragma once

#include <QString>

#include <optional>

// The person's choice of default applications: mimeapps.list in the XDG
// configuration home. Edited line by line so that everything else in the file
// (other sections, comments, other programs' choices) stays as it was.
class MimeAppsList
{
public:
    explicit MimeAppsList(QString path = defaultPath());
    static QString defaultPath();

    QString path() const { return m_path; }

    // The desktop entry chosen for a MIME type (or URL scheme handler type), if any.
    std::optional<QString> defaultFor(const QString& mimeType) const;
    // Makes desktopId the default for mimeType; the failure's description otherwise.
    std::optional<QString> setDefault(const QString& mimeType, const QString& desktopId);
    // Takes desktopId out of every association (default, added and removed
    // lists), dropping keys left empty. Returns how many associations were
    // removed, or nothing when the file could not be written (error set).
    std::optional<int> removeApplication(const QString& desktopId, QString* error = nullptr);

private:
    QString m_path;
};
