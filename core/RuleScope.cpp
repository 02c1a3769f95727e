#include "core/RuleScope.h"

#include <QCoreApplication>

QString RuleScope::rawValue() const
{
    switch (m_value) {
    case agent:
        return QStringLiteral("agent");
    case machine:
        return QStringLiteral("machine");
    case global:
        return QStringLiteral("global");
    }
    Q_UNREACHABLE();
    return QString();
}

QString RuleScope::displayName() const
{
    switch (m_value) {
    case agent:
        return QCoreApplication::translate("RuleScope", "This Agent");
    case machine:
        return QCoreApplication::translate("RuleScope", "This Machine");
    case global:
        return QCoreApplication::translate("RuleScope", "All Agents");
    }
    Q_UNREACHABLE();
    return QString();
}

std::optional<RuleScope> RuleScope::fromRawValue(QStringView rawValue)
{
    for (const RuleScope scope : allCases()) {
        if (rawValue == scope.rawValue())
            return scope;
    }
    return std::nullopt;
}

QList<RuleScope> RuleScope::allCases()
{
    return { agent, machine, global };
}

QList<RuleScope> RuleScope::availableCases(qint64 machineAgentCount)
{
    if (machineAgentCount > 1)
        return allCases();
    return { machine, global };
}
