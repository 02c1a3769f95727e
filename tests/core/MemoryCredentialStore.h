#pragma once

#include "core/CredentialStore.h"

#include <QMap>

#include <tuple>

// An in-memory credential store for tests: items keyed by (service, account,
// access group), and an optional status that add() fails with.
class MemoryCredentialStore : public CredentialStore
{
public:
    using Key = std::tuple<QString, QString, QString>; // service, account, access group

    std::optional<QByteArray> read(const QString& service, const QString& account,
                                   const QString& accessGroup) override
    {
        const auto found = m_items.constFind({service, account, accessGroup});
        if (found == m_items.constEnd())
            return std::nullopt;
        return *found;
    }

    int add(const QString& service, const QString& account, const QString& accessGroup,
            const QByteArray& secret) override
    {
        if (m_addStatus != success)
            return m_addStatus;
        m_items.remove({service, account, accessGroup});
        m_items.insert({service, account, accessGroup}, secret);
        return success;
    }

    void remove(const QString& service, const QString& account, const QString& accessGroup) override
    {
        m_items.remove({service, account, accessGroup});
    }

    void removeAll(const QString& service, const QString& accessGroup) override
    {
        for (auto it = m_items.begin(); it != m_items.end();) {
            if (std::get<0>(it.key()) == service && std::get<2>(it.key()) == accessGroup)
                it = m_items.erase(it);
            else
                ++it;
        }
    }

    void setAddStatus(int status) { m_addStatus = status; }
    const QMap<Key, QByteArray>& items() const { return m_items; }

private:
    QMap<Key, QByteArray> m_items;
    int m_addStatus = success;
};
