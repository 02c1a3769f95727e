#include "app/panel/ActionCountdown.h"

#include "app/panel/PanelPresentation.h"
#include "core/VisibleText.h"

namespace {
QDateTime systemNow()
{
    return QDateTime::currentDateTimeUtc();
}
} // namespace

ActionCountdown::ActionCountdown(QObject* parent)
    : QObject(parent)
    , m_clock(systemNow)
{
}

void ActionCountdown::present(const std::optional<PendingAction>& action, const QString& title)
{
    m_action = action;
    m_expiresDate = m_action ? m_action->expiresDate() : std::nullopt;
    m_title = title;
    Q_EMIT changed();
}

double ActionCountdown::remainingSeconds() const
{
    if (!m_expiresDate)
        return 0.0;
    const QDateTime now = m_clock();
    if (!now.isValid())
        return 0.0;
    return double(now.msecsTo(*m_expiresDate)) / 1000.0;
}

QString ActionCountdown::text() const
{
    return PanelPresentation::countdownText(remainingSeconds());
}

QString ActionCountdown::colorName() const
{
    return PanelPresentation::countdownColorName(remainingSeconds(), m_action && m_action->isUnregister());
}

QString ActionCountdown::spokenSummary() const
{
    if (!m_action)
        return {};
    return visibleText(PanelPresentation::spokenSummary(m_title, m_action->classification, remainingSeconds()));
}

void ActionCountdown::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(systemNow);
    refresh();
}

void ActionCountdown::refresh()
{
    if (m_action)
        Q_EMIT changed();
}
