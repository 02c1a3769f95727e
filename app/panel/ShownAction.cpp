#include "app/panel/ShownAction.h"

#include "app/panel/PanelPresentation.h"
#include "core/VisibleText.h"

#include <QVariantMap>

ShownAction::ShownAction(QObject* parent)
    : QObject(parent)
{
}

void ShownAction::present(const std::optional<PendingAction>& action, const QString& title)
{
    m_action = action;
    m_title = title;
    m_segments.clear();
    m_highestRiskText.clear();
    m_badgeText.clear();
    m_badgeColorName.clear();
    if (m_action) {
        if (const auto segments = m_action->detailSegments()) {
            const std::optional<qsizetype> highest = PanelPresentation::highestRiskSegment(*segments);
            if (highest)
                m_highestRiskText = tr("Asked because this part is %1: %2")
                                        .arg(segments->at(*highest).risk, segments->at(*highest).segment);
            for (qsizetype index = 0; index < segments->size(); ++index) {
                const CommandSegment& segment = segments->at(index);
                m_segments.append(QVariantMap{{QStringLiteral("segment"), visibleText(segment.segment)},
                                              {QStringLiteral("baseCmd"), visibleText(segment.baseCmd)},
                                              {QStringLiteral("risk"), visibleText(segment.risk)},
                                              {QStringLiteral("isRead"), PanelPresentation::isReadRisk(segment.risk)},
                                              {QStringLiteral("isHighestRisk"), highest == index}});
            }
        }
        if (const auto badge = PanelPresentation::badgeSource(*m_action)) {
            m_badgeText = PanelPresentation::badgeText(*badge);
            m_badgeColorName = PanelPresentation::badgeColorName(*badge);
        }
    }
    Q_EMIT changed();
}

QString ShownAction::title() const
{
    return visibleText(m_title);
}

QString ShownAction::agentName() const
{
    return m_action ? visibleText(m_action->agentName) : QString();
}

QString ShownAction::agentMachine() const
{
    return m_action ? visibleText(m_action->agentMachine.value_or(QString())) : QString();
}

QString ShownAction::highestRiskText() const
{
    return visibleText(m_highestRiskText);
}

QString ShownAction::displaySummary() const
{
    return m_action ? visibleText(m_action->displaySummary()) : QString();
}

QString ShownAction::badgeText() const
{
    return visibleText(m_badgeText);
}

QString ShownAction::approveLabel() const
{
    return PanelPresentation::approveLabel(isUnregister());
}

QString ShownAction::denyLabel() const
{
    return PanelPresentation::denyLabel(isUnregister());
}

QString ShownAction::approveColorName() const
{
    return PanelPresentation::approveColorName(isUnregister());
}

QString ShownAction::denyColorName() const
{
    return PanelPresentation::denyColorName(isUnregister());
}
