#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringView>

#include <optional>

// The reach of a standing rule made from an approval: only the agent that
// asked, every agent on its machine, or every agent of the account.
//
//     RuleScope scope = RuleScope::machine;
//     scope.rawValue();     // "machine", as the back-end expects it
//     scope.displayName();  // "This Machine"
class RuleScope
{
    Q_GADGET
    Q_PROPERTY(QString rawValue READ rawValue CONSTANT)
    Q_PROPERTY(QString displayName READ displayName CONSTANT)

public:
    enum Value { agent, machine, global };
    Q_ENUM(Value)

    constexpr RuleScope() = default;
    constexpr RuleScope(Value value)
        : m_value(value)
    {
    }

    constexpr Value value() const { return m_value; }
    constexpr operator Value() const { return m_value; }

    QString rawValue() const;
    QString displayName() const;

    // The scope whose raw value is exactly this text, or absent.
    static std::optional<RuleScope> fromRawValue(QStringView rawValue);

    // agent, machine, global.
    static QList<RuleScope> allCases();

    // The scopes offered for an action: all three when the user has more than
    // one agent on the action's machine, else (0, 1 or a negative count)
    // machine and global, since "this agent" and "this machine" would be the same.
    static QList<RuleScope> availableCases(qint64 machineAgentCount);

private:
    Value m_value = agent;
};

Q_DECLARE_METATYPE(RuleScope)
