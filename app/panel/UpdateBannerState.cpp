#include "app/panel/UpdateBannerState.h"
#include "core/VisibleText.h"

#include "app/panel/PanelPresentation.h"
#include "core/ProgressPercent.h"
#include "core/UpdateCheckService.h"

UpdateBannerState::UpdateBannerState(UpdateCheckService& updates, QObject* parent)
    : QObject(parent)
    , m_updates(&updates)
{
    connect(&updates, &UpdateCheckService::availableVersionChanged, this, &UpdateBannerState::changed);
    connect(&updates, &UpdateCheckService::downloadURLChanged, this, &UpdateBannerState::changed);
    connect(&updates, &UpdateCheckService::isUpdatingChanged, this, &UpdateBannerState::changed);
    connect(&updates, &UpdateCheckService::updateProgressChanged, this, &UpdateBannerState::changed);
    connect(&updates, &UpdateCheckService::updateErrorChanged, this, &UpdateBannerState::changed);
}

bool UpdateBannerState::isVisible() const
{
    return m_updates && !m_updates->availableVersion().isEmpty() && m_updates->downloadURL().isValid()
        && !m_updates->downloadURL().isEmpty();
}

QString UpdateBannerState::mode() const
{
    if (!m_updates)
        return QStringLiteral("available");
    if (m_updates->isUpdating())
        return QStringLiteral("progress");
    if (!m_updates->updateError().isEmpty())
        return QStringLiteral("error");
    if (m_updates->isPackageManaged())
        return QStringLiteral("managed");
    return QStringLiteral("available");
}

double UpdateBannerState::progress() const
{
    return m_updates ? ProgressPercent::clamped(m_updates->updateProgress()) : 0.0;
}

QString UpdateBannerState::percentText() const
{
    return ProgressPercent::text(m_updates ? m_updates->updateProgress() : 0.0);
}

QString UpdateBannerState::errorText() const
{
    return m_updates ? visibleText(m_updates->updateError()) : QString();
}

QString UpdateBannerState::availableText() const
{
    if (!m_updates)
        return QString();
    const QString text = PanelPresentation::updateAvailableText(m_updates->availableVersion());
    return m_updates->isPackageManaged() ? tr("%1 · update it with your package manager").arg(text) : text;
}

void UpdateBannerState::update()
{
    if (m_updates)
        m_updates->downloadAndInstall();
}
