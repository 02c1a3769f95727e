#include "app/trust/PresencePolicyState.h"

#include <QFileInfo>

#include "core/LogCategories.h"
#include "platform/PrivilegedRunner.h"

#include <QPointer>

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
    const QPointer<PresencePolicyState> self(this);
    setInstalling(true);
    setErrorMessage(QString());
    const std::optional<QString> failure = co_await m_policy->install(m_runner);
    if (!self)
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
    if (m_isMissing == missing)
        return;
    m_isMissing = missing;
    Q_EMIT isMissingChanged();
}

void PresencePolicyState::setInstalling(bool installing)
{
    if (m_isInstalling == installing)
        return;
    m_isInstalling = installing;
    Q_EMIT isInstallingChanged();
}

void PresencePolicyState::setErrorMessage(const QString& message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}
