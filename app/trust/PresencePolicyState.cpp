#include "app/trust/PresencePolicyState.h"

#include "core/AssignAndNotify.h"
#include "core/LifetimeGuard.h"
#include "core/LogCategories.h"
#include "platform/PrivilegedRunner.h"

#include <QFileInfo>

PresencePolicyState::PresencePolicyState(std::optional<PresencePolicy> policy, PrivilegedRunner& runner,
                                         QObject* parent)
    : QObject(parent)
    , m_policy(std::move(policy))
    , m_runner(runner)
{
    refresh();
}

bool PresencePolicyState::canInstall() const
{
    return m_policy && QFileInfo::exists(m_policy->shippedPolicyPath());
}

void PresencePolicyState::refresh()
{
    setMissing(m_policy && !m_policy->isInstalled());
}

QCoro::Task<> PresencePolicyState::install()
{
    if (!m_policy || m_isInstalling)
        co_return;
    const LifetimeGuard guard(this);
    setInstalling(true);
    setErrorMessage(QString());
    const std::optional<QString> failure = co_await m_policy->install(m_runner);
    if (!guard.alive())
        co_return;
    setInstalling(false);
    if (failure) {
        qCWarning(lcTrust).noquote() << QStringLiteral("Quorvane: installing the presence policy failed: ") + *failure;
        setErrorMessage(*failure);
    }
    refresh();
}

void PresencePolicyState::startInstall()
{
    install();
}

void PresencePolicyState::setMissing(bool missing)
{
    assignAndNotify(m_isMissing, missing, this, &PresencePolicyState::isMissingChanged);
}

void PresencePolicyState::setInstalling(bool installing)
{
    assignAndNotify(m_isInstalling, installing, this, &PresencePolicyState::isInstallingChanged);
}

void PresencePolicyState::setErrorMessage(const QString& message)
{
    assignAndNotify(m_errorMessage, message, this, &PresencePolicyState::errorMessageChanged);
}
