#include "platform/MachineIdentifier.h"

#include <QFile>
#include <QSysInfo>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 7f0a0202-e8d3-4ff2-a1a4-d4cdc4f2f101
constexpr unsigned char applicationUuid[16] = {0x7f, 0x0a, 0x02, 0x02, 0xe8, 0xd3, 0x4f, 0xf2,
                                               0xa1, 0xa4, 0xd4, 0xcd, 0xc4, 0xf2, 0xf1, 0x01};

constexpr qint64 maximumMachineIdFileSize = 4096;

std::optional<QByteArray> readMachineIdFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat info{};
    QByteArray content;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maximumMachineIdFileSize) {
        content.resize(maximumMachineIdFileSize + 1);
        ssize_t count = -1;
        do {
            count = ::read(fd, content.data(), size_t(content.size()));
        } while (count < 0 && errno == EINTR);
        content.resize(count > 0 ? count : 0);
    }
    ::close(fd);
    if (content.isEmpty() || content.size() > maximumMachineIdFileSize)
        return std::nullopt;
    return content;
}

} // namespace

QByteArray MachineIdentifier::applicationId()
{
    return QByteArray(reinterpret_cast<const char*>(applicationUuid), sizeof applicationUuid);
}

std::optional<QByteArray> MachineIdentifier::parseMachineId(const QByteArray& content)
{
    QByteArray text = content;
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.size() != 32)
        return std::nullopt;
    for (const char c : std::as_const(text)) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            return std::nullopt;
    }
    const QByteArray id = QByteArray::fromHex(text);
    if (id.size() != 16 || id.count('\0') == id.size())
        return std::nullopt;
    return id;
}

QString MachineIdentifier::appSpecificId(const QByteArray& machineId)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (machineId.size() != 16
        || !HMAC(EVP_sha256(), machineId.constData(), int(machineId.size()), applicationUuid, sizeof applicationUuid,
                 digest, &digestLength)
        || digestLength < 16)
        return {};
    // Version 4, variant 1 (RFC 4122), as systemd marks its app-specific ids.
    digest[6] = (digest[6] & 0x0f) | 0x40;
    digest[8] = (digest[8] & 0x3f) | 0x80;
    const QByteArray hex = QByteArray(reinterpret_cast<const char*>(digest), 16).toHex().toUpper();
    return QString::fromLatin1(hex.mid(0, 8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' + hex.mid(16, 4) + '-'
                               + hex.mid(20, 12));
}

QString MachineIdentifier::hostName()
{
    return QSysInfo::machineHostName();
}

QString MachineIdentifier::localMachineIdentifier(const QString& machineIdPath, const QString& hostName)
{
    if (const auto content = readMachineIdFile(machineIdPath)) {
        if (const auto machineId = parseMachineId(*content)) {
            const QString id = appSpecificId(*machineId);
            if (!id.isEmpty())
                return id;
        }
    }
    return hostName.isEmpty() ? MachineIdentifier::hostName() : hostName;
}

MachineAuthService::LocalMachine MachineIdentifier::localMachine()
{
    return {localMachineIdentifier(), hostName()};
}
