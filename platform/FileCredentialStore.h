#pragma once

#include "core/CredentialStore.h"

#include <QJsonArray>

// A credential store in one JSON file, for development machines without a
// Secret Service (QUORVANE_CREDENTIAL_STORE=file in dev builds). The file is
// private to the user: it is created with mode 0600, replaced atomically, and
// refused (neither read nor overwritten) when it is a symbolic link, not a
// regular file, owned by someone else or readable by anyone but its owner.
//
// Format: {"items":[{"service":…,"account":…,"access-group":…,"secret":…}]},
// "secret" being the standard base64 of the secret's bytes.
class FileCredentialStore : public CredentialStore
{
public:
    static constexpr qint64 maximumFileSize = 1024 * 1024;

    // <home>/.quorvane/credentials.json
    static QString defaultPath();

    explicit FileCredentialStore(QString path = defaultPath());

    QString path() const { return m_path; }

    std::optional<QByteArray> read(const QString& service, const QString& account,
                                   const QString& accessGroup) override;
    int add(const QString& service, const QString& account, const QString& accessGroup,
            const QByteArray& secret) override;
    void remove(const QString& service, const QString& account, const QString& accessGroup) override;
    void removeAll(const QString& service, const QString& accessGroup) override;

private:
    // The items of the file (empty when it does not exist), or the errno-style
    // status that refused it.
    int load(QJsonArray& items) const;
    int save(const QJsonArray& items) const;
    void refuse(const QString& reason) const;

    QString m_path;
};
