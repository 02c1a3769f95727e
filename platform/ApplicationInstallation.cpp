#include "platform/ApplicationInstallation.h"

#include "core/CoreConstants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr QLatin1String programName("quorvane-app");

bool isInside(const QString& path, const QString& folder)
{
    const QString base = QDir::cleanPath(folder);
    return !base.isEmpty() && path.startsWith(base + QLatin1Char('/'));
}

// Symbolic links resolved, so that a link into the home folder is not taken for it.
QString resolved(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return QDir::cleanPath(canonical.isEmpty() ? path : canonical);
}

} // namespace

ApplicationInstallation::ApplicationInstallation()
    : ApplicationInstallation(QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/..")),
                              CoreConstants::homeDirectory())
{
}

ApplicationInstallation::ApplicationInstallation(QString prefix, QString home)
    : m_prefix(resolved(prefix))
    , m_home(resolved(home))
{
}

bool ApplicationInstallation::isSystemWide() const
{
    return !isInside(m_prefix, m_home);
}

bool ApplicationInstallation::isUserLocal() const
{
    if (isSystemWide())
        return false;
    const QStringList programs
        = QDir(m_prefix + QStringLiteral("/bin")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    return programs == QStringList{programName};
}

std::optional<QString> ApplicationInstallation::moveToTrash() const
{
    if (!isUserLocal())
        return removalAdvice();
    QFile installation(m_prefix);
    if (!installation.moveToTrash())
        return installation.errorString();
    return std::nullopt;
}

QString ApplicationInstallation::removalAdvice() const
{
    if (isSystemWide()) {
        return QCoreApplication::translate("ApplicationInstallation",
                                           "Quorvane is installed for all users in %1 and was left in place. "
                                           "Remove it with your package manager, for example: sudo apt remove quorvane")
            .arg(m_prefix);
    }
    return QCoreApplication::translate("ApplicationInstallation",
                                       "Quorvane shares %1 with other programs and was left in place. "
                                       "Remove its files there by hand.")
        .arg(m_prefix);
}
