#include "platform/PresencePolicy.h"

#include "platform/PrivilegedRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// The policy is a few kilobytes; anything far larger is not ours.
constexpr qint64 maximumPolicyBytes = 64 * 1024;

} // namespace

PresencePolicy::PresencePolicy()
    : PresencePolicy(QString::fromLatin1(systemActionsDirectory),
                     QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/polkit-1/actions/")
                                     + QLatin1String(fileName)))
{
}

PresencePolicy::PresencePolicy(QString actionsDirectory, QString shippedPolicyPath)
    : m_actionsDirectory(std::move(actionsDirectory))
    , m_shippedPolicyPath(std::move(shippedPolicyPath))
{
}

QString PresencePolicy::installedPath() const
{
    return m_actionsDirectory + QLatin1Char('/') + QLatin1String(fileName);
}

bool PresencePolicy::isInstalled() const
{
    return QFileInfo(installedPath()).isFile();
}

QCoro::Task<std::optional<QString>> PresencePolicy::install(PrivilegedRunner& runner) const
{
    const QFileInfo shipped(m_shippedPolicyPath);
    if (!shipped.isFile() || shipped.size() > maximumPolicyBytes)
        co_return QCoreApplication::translate("PresencePolicy", "This installation has no policy file to install (%1).")
            .arg(m_shippedPolicyPath);

    PrivilegedRunner::Command command{QStringLiteral("/usr/bin/install"),
                                      {QStringLiteral("-D"), QStringLiteral("-m"), QStringLiteral("0644"),
                                       QStringLiteral("--"), shipped.absoluteFilePath(), installedPath()}};
    QCoro::Task<PrivilegedRunner::Outcome> installing = runner.run(std::move(command));
    const PrivilegedRunner::Outcome outcome = co_await std::move(installing);
    if (!outcome.launched)
        co_return QCoreApplication::translate("PresencePolicy", "Could not ask for administrator rights: %1")
            .arg(outcome.launchError);
    if (outcome.exitStatus == 126 || outcome.exitStatus == 127)
        co_return QCoreApplication::translate("PresencePolicy", "Administrator rights were not given.");
    if (!outcome.succeeded()) {
        const QString detail = QString::fromUtf8(outcome.standardError.left(500)).trimmed();
        co_return detail.isEmpty()
            ? QCoreApplication::translate("PresencePolicy", "Installing the policy failed.")
            : QCoreApplication::translate("PresencePolicy", "Installing the policy failed: %1").arg(detail);
    }
    if (!isInstalled())
        co_return QCoreApplication::translate("PresencePolicy", "The policy is still missing from %1.")
            .arg(m_actionsDirectory);
    co_return std::nullopt;
}
