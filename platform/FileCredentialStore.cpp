#include "platform/FileCredentialStore.h"

#include "core/CoreConstants.h"
#include "core/PrivateFiles.h"
#include "core/SecretBytes.h"
#include "core/LogCategories.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool matches(const QJsonObject& item, const QString& service, const QString* account, const QString& accessGroup)
{
    return item.value(QLatin1String("service")).toString() == service
        && item.value(QLatin1String("access-group")).toString() == accessGroup
        && (!account || item.value(QLatin1String("account")).toString() == *account);
}

// Removes the matching items; returns whether any was removed.
bool removeMatching(QJsonArray& items, const QString& service, const QString* account, const QString& accessGroup)
{
    bool removed = false;
    for (qsizetype i = items.size() - 1; i >= 0; --i) {
        if (matches(items.at(i).toObject(), service, account, accessGroup)) {
            items.removeAt(i);
            removed = true;
        }
    }
    return removed;
}

QString modeText(mode_t mode)
{
    return QStringLiteral("0%1").arg(uint(mode & 07777), 3, 8, QLatin1Char('0'));
}

} // namespace

QString FileCredentialStore::defaultPath()
{
    return CoreConstants::quorvaneDirectory() + QStringLiteral("/credentials.json");
}

FileCredentialStore::FileCredentialStore(QString path)
    : m_path(std::move(path))
{
}

void FileCredentialStore::refuse(const QString& reason) const
{
    qCWarning(lcPlatform).noquote()
        << QStringLiteral("Quorvane: FileCredentialStore — refusing %1: %2").arg(m_path, reason);
}

int FileCredentialStore::load(QJsonArray& items) const
{
    items = {};
    const QByteArray path = QFile::encodeName(m_path);
    // O_NOFOLLOW refuses a symbolic link; O_NONBLOCK keeps a FIFO from hanging us.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return success;
        if (error == ELOOP) {
            refuse(QStringLiteral("it is a symbolic link"));
            return EPERM;
        }
        refuse(QString::fromLocal8Bit(std::strerror(error)));
        return error;
    }
    struct stat info{};
    int status = success;
    if (::fstat(fd, &info) != 0) {
        status = errno;
        refuse(QString::fromLocal8Bit(std::strerror(status)));
    } else if (!S_ISREG(info.st_mode)) {
        status = EPERM;
        refuse(QStringLiteral("it is not a regular file"));
    } else if (info.st_uid != ::getuid()) {
        status = EPERM;
        refuse(QStringLiteral("it belongs to another user"));
    } else if ((info.st_mode & 07777 & ~mode_t(0600)) != 0) {
        status = EPERM;
        refuse(QStringLiteral("its permissions %1 are wider than 0600").arg(modeText(info.st_mode)));
    } else if (info.st_size > maximumFileSize) {
        status = EFBIG;
        refuse(QStringLiteral("it is larger than %1 bytes").arg(maximumFileSize));
    }
    QByteArray content;
    if (status == success) {
        char buffer[16384];
        for (;;) {
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0) {
                status = errno;
                refuse(QString::fromLocal8Bit(std::strerror(status)));
                break;
            }
            if (content.size() + count > maximumFileSize) {
                status = EFBIG;
                refuse(QStringLiteral("it is larger than %1 bytes").arg(maximumFileSize));
                break;
            }
            if (count == 0)
                break;
            content.append(buffer, count);
        }
        SecretBytes::cleanse(buffer);
    }
    ::close(fd);
    if (status != success)
        return status;
    if (content.isEmpty())
        return success;

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    SecretBytes::cleanse(content);
    const QJsonValue list = document.object().value(QLatin1String("items"));
    if (error.error != QJsonParseError::NoError || !document.isObject() || !list.isArray()) {
        // Never overwrite a file we cannot understand: the secrets in it would be lost.
        refuse(QStringLiteral("it is not a credential file"));
        return EINVAL;
    }
    items = list.toArray();
    return success;
}

int FileCredentialStore::save(const QJsonArray& items) const
{
    const QString directory = QFileInfo(m_path).absolutePath();
    if (const auto error = PrivateFiles::makePrivateDirectories(directory)) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("Quorvane: FileCredentialStore — %1").arg(*error);
        return EIO;
    }
    QJsonObject root;
    root.insert(QLatin1String("items"), items);
    QByteArray content = QJsonDocument(root).toJson(QJsonDocument::Compact);
    const auto error = PrivateFiles::writeAtomically(m_path, content);
    SecretBytes::cleanse(content);
    if (error) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("Quorvane: FileCredentialStore — %1").arg(*error);
        return EIO;
    }
    return success;
}

std::optional<QByteArray> FileCredentialStore::read(const QString& service, const QString& account,
                                                    const QString& accessGroup)
{
    QJsonArray items;
    if (load(items) != success)
        return std::nullopt;
    for (const QJsonValue& value : std::as_const(items)) {
        const QJsonObject item = value.toObject();
        if (!matches(item, service, &account, accessGroup))
            continue;
        const QJsonValue secret = item.value(QLatin1String("secret"));
        if (!secret.isString())
            return std::nullopt;
        QByteArray encoded = secret.toString().toLatin1();
        auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
        SecretBytes::cleanse(encoded);
        if (!decoded)
            return std::nullopt;
        return decoded.decoded;
    }
    return std::nullopt;
}

int FileCredentialStore::add(const QString& service, const QString& account, const QString& accessGroup,
                             const QByteArray& secret)
{
    QJsonArray items;
    if (const int status = load(items))
        return status;
    removeMatching(items, service, &account, accessGroup);
    QJsonObject item;
    item.insert(QLatin1String("service"), service);
    item.insert(QLatin1String("account"), account);
    item.insert(QLatin1String("access-group"), accessGroup);
    item.insert(QLatin1String("secret"), QString::fromLatin1(secret.toBase64()));
    items.append(item);
    return save(items);
}

void FileCredentialStore::remove(const QString& service, const QString& account, const QString& accessGroup)
{
    QJsonArray items;
    if (load(items) == success && removeMatching(items, service, &account, accessGroup))
        save(items);
}

void FileCredentialStore::removeAll(const QString& service, const QString& accessGroup)
{
    QJsonArray items;
    if (load(items) == success && removeMatching(items, service, nullptr, accessGroup))
        save(items);
}
