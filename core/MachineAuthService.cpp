#include "core/MachineAuthService.h"

#include "core/LifetimeGuard.h"
#include "core/ApiUrl.h"
#include "core/CoreConstants.h"
#include "core/CredentialStore.h"
#include "core/Http.h"
#include "core/HttpWireFormat.h"
#include "core/JsonText.h"
#include "core/PrivateFiles.h"
#include "core/RegisterResponse.h"
#include "core/SecretBytes.h"
#include "core/LogCategories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QStringDecoder>
#include <QSysInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encodedPath(const QString& path)
{
    return QFile::encodeName(path);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The machine directory: created 0700 with its parents; an existing one must be
// a real directory of this user and is set to 0700.
std::optional<QString> prepareMachineDirectory(const QString& path)
{
    if (auto error = PrivateFiles::makePrivateDirectories(path))
        return error;
    struct stat info{};
    if (::lstat(encodedPath(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a directory").arg(path);
    if (info.st_uid != ::getuid())
        return QStringLiteral("%1 belongs to another user").arg(path);
    if ((info.st_mode & 07777) != 0700 && ::chmod(encodedPath(path).constData(), 0700) != 0)
        return QStringLiteral("cannot set the permissions of %1: %2").arg(path, errnoText(errno));
    return std::nullopt;
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    Q_UNUSED(text);
    return !decoder.hasError();
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Strict standard base64 (with padding, length a multiple of 4).
std::optional<QByteArray> decodeStandardBase64(const QByteArray& text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    QByteArray out;
    out.reserve(text.size() / 4 * 3);
    for (qsizetype i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int padding = 0;
        if (last) {
            if (text[i + 3] == '=')
                padding = text[i + 2] == '=' ? 2 : 1;
        }
        int values[4] = {0, 0, 0, 0};
        for (int j = 0; j < 4 - padding; ++j) {
            values[j] = base64Value(text[i + j]);
            if (values[j] < 0)
                return std::nullopt;
        }
        const unsigned int group = (unsigned(values[0]) << 18) | (unsigned(values[1]) << 12)
            | (unsigned(values[2]) << 6) | unsigned(values[3]);
        out.append(char((group >> 16) & 0xff));
        if (padding < 2)
            out.append(char((group >> 8) & 0xff));
        if (padding < 1)
            out.append(char(group & 0xff));
    }
    return out;
}

// An HTTP answer's body as text: its UTF-8, or `fallback` when it is not UTF-8.
QString bodyText(const QByteArray& body, const QString& fallback)
{
    return isValidUtf8(body) ? QString::fromUtf8(body) : fallback;
}

MachineAuthService::LocalMachine hostNameOnly()
{
    const QString name = QSysInfo::machineHostName();
    return {name, name};
}

} // namespace

MachineAuthService::MachineAuthService(CredentialStore& store, Clock clock, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_clock(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); }))
    , m_localMachine(&hostNameOnly)
{
    reload();
}

MachineAuthService::MachineAuthService(CredentialStore& store, QNetworkAccessManager& network,
                                       LocalMachineLookup localMachine, Clock clock, QObject* parent)
    : MachineAuthService(store, std::move(clock), parent)
{
    m_network = &network;
    if (localMachine)
        m_localMachine = std::move(localMachine);
}

MachineAuthService::~MachineAuthService() = default;

QNetworkAccessManager& MachineAuthService::network()
{
    if (!m_network) {
        m_ownNetwork = std::make_unique<QNetworkAccessManager>();
        m_ownNetwork->setTransferTimeout(requestTimeoutMilliseconds);
        m_network = m_ownNetwork.get();
    }
    return *m_network;
}

void MachineAuthService::reload()
{
    const QString path = CoreConstants::machineConfigPath();
    const std::optional<QByteArray> content = PrivateFiles::readSmallRegularFile(path, maximumConfigSize);
    std::optional<MachineConfig> config = content ? MachineConfig::decode(*content) : std::nullopt;
    if (!config) {
        qCInfo(lcIdentity).noquote() << QStringLiteral("Quorvane: MachineAuthService — no config at %1").arg(path);
        m_config.reset();
        m_signingKey.reset();
        Q_EMIT configurationChanged();
        return;
    }
    m_config = std::move(config);

    std::optional<QByteArray> keyBytes = readKeyBytes(m_config->machineIdLocal);
    if (!keyBytes) {
        qCWarning(lcIdentity).noquote()
            << QStringLiteral("Quorvane: MachineAuthService — keychain read failed for account %1")
                   .arg(m_config->machineIdLocal);
        m_signingKey.reset();
        Q_EMIT configurationChanged();
        return;
    }
    m_signingKey = signingKeyFromKeyBytes(*keyBytes);
    SecretBytes::cleanse(*keyBytes);
    Q_EMIT configurationChanged();
}

std::optional<QString> MachineAuthService::machineId() const
{
    if (!m_config)
        return std::nullopt;
    return m_config->id;
}

std::optional<QString> MachineAuthService::userId() const
{
    if (!m_config)
        return std::nullopt;
    return m_config->userId;
}

std::optional<SignedRequest> MachineAuthService::signedGETRequest(const QUrl& url) const
{
    return buildSignedRequest(url, QByteArrayLiteral("GET"), nullptr);
}

std::optional<SignedRequest> MachineAuthService::signedDELETERequest(const QUrl& url) const
{
    return buildSignedRequest(url, QByteArrayLiteral("DELETE"), nullptr);
}

std::optional<SignedRequest> MachineAuthService::signedPOSTRequest(const QUrl& url, const QByteArray& body) const
{
    return buildSignedRequest(url, QByteArrayLiteral("POST"), &body);
}

std::optional<SignedRequest> MachineAuthService::signedPUTRequest(const QUrl& url, const QByteArray& body) const
{
    return buildSignedRequest(url, QByteArrayLiteral("PUT"), &body);
}

std::optional<SignedRequest> MachineAuthService::buildSignedRequest(const QUrl& url, const QByteArray& method,
                                                                    const QByteArray* body) const
{
    if (!m_config || !m_signingKey)
        return std::nullopt;

    using namespace std::chrono;
    const qint64 timestamp = duration_cast<milliseconds>(m_clock().time_since_epoch()).count();
    if (timestamp < 0)
        return std::nullopt;

    if (!m_config->id.isValidUtf16())
        return std::nullopt;
    QByteArray message = m_config->id.toUtf8() + ':' + QByteArray::number(timestamp) + ':';
    if (body) {
        if (!isValidUtf8(*body))
            return std::nullopt;
        message += *body;
    } else {
        QString target = url.path(QUrl::FullyDecoded);
        if (!target.startsWith(u'/'))
            target.prepend(u'/');
        if (url.hasQuery())
            target += u'?' + url.query();
        if (!target.isValidUtf16())
            return std::nullopt;
        message += method + ' ' + target.toUtf8();
    }
    // The id and the message travel as header values.
    if (!HttpWireFormat::isFieldValue(message))
        return std::nullopt;

    const QByteArray signature = m_signingKey->sign(message);
    if (signature.isEmpty())
        return std::nullopt;

    SignedRequest signedRequest;
    signedRequest.method = method;
    QNetworkRequest& request = signedRequest.request;
    request.setUrl(url);
    request.setTransferTimeout(requestTimeoutMilliseconds);
    if (body) {
        request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json"));
        signedRequest.body = *body;
    }
    request.setRawHeader(QByteArrayLiteral("X-Machine-Id"), m_config->id.toUtf8());
    request.setRawHeader(QByteArrayLiteral("X-Signature"), base64urlEncode(signature).toLatin1());
    request.setRawHeader(QByteArrayLiteral("X-Signed-Message"), message);
    return signedRequest;
}

std::optional<QString> MachineAuthService::privateKeyBase64url() const
{
    if (!m_config)
        return std::nullopt;
    const std::optional<QByteArray> value = m_store.read(CoreConstants::keychainService(), m_config->machineIdLocal,
                                                         CoreConstants::keychainAccessGroup());
    if (!value || !isValidUtf8(*value))
        return std::nullopt;
    return QString::fromUtf8(*value);
}

void MachineAuthService::clearKeychain()
{
    m_store.removeAll(CoreConstants::keychainService(), CoreConstants::keychainAccessGroup());
}

QString MachineAuthService::base64urlEncode(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

std::optional<QByteArray> MachineAuthService::base64urlDecode(const QString& text)
{
    QByteArray standard;
    standard.reserve(text.size() + 3);
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
        const char ascii = char(c.unicode());
        standard.append(ascii == '-' ? '+' : ascii == '_' ? '/' : ascii);
    }
    if (const qsizetype remainder = standard.size() % 4; remainder > 0)
        standard.append(4 - remainder, '=');
    std::optional<QByteArray> decoded = decodeStandardBase64(standard);
    SecretBytes::cleanse(standard); // key items pass through here
    return decoded;
}

std::optional<QByteArray> MachineAuthService::decodeKeyItem(const QByteArray& value)
{
    if (!isValidUtf8(value))
        return std::nullopt;
    QString text = QString::fromUtf8(value);
    std::optional<QByteArray> decoded = base64urlDecode(text);
    SecretBytes::cleanse(text);
    return decoded;
}

std::optional<Ed25519Key> MachineAuthService::signingKeyFromKeyBytes(const QByteArray& keyBytes)
{
    if (keyBytes.size() < Ed25519Key::seedSize)
        return std::nullopt;
    QByteArray seed = keyBytes.left(Ed25519Key::seedSize);
    std::optional<Ed25519Key> key = Ed25519Key::fromSeed(seed);
    SecretBytes::cleanse(seed);
    return key;
}

std::optional<QByteArray> MachineAuthService::readKeyBytes(const QString& account) const
{
    std::optional<QByteArray> value
        = m_store.read(CoreConstants::keychainService(), account, CoreConstants::keychainAccessGroup());
    if (!value)
        return std::nullopt;
    std::optional<QByteArray> decoded = decodeKeyItem(*value);
    SecretBytes::cleanse(*value);
    return decoded;
}

MachineAuthService::StoreResult MachineAuthService::storeIdentity(CredentialStore& store, const MachineConfig& config,
                                                                  const Ed25519Key& key)
{
    StoreResult result;
    QByteArray seed = key.seed();
    const QByteArray publicKey = key.publicKey();
    if (seed.size() != Ed25519Key::seedSize || publicKey.size() != Ed25519Key::publicKeySize) {
        SecretBytes::cleanse(seed);
        result.keychainStatus = CredentialStore::genericFailure;
        return result;
    }
    QByteArray keyPair = seed + publicKey;
    // base64urlEncode() as UTF-8, without a text copy that could not be wiped.
    QByteArray item = keyPair.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    store.remove(CoreConstants::keychainService(), config.machineIdLocal, CoreConstants::keychainAccessGroup());
    const int status = store.add(CoreConstants::keychainService(), config.machineIdLocal,
                                 CoreConstants::keychainAccessGroup(), item);
    SecretBytes::cleanse(seed);
    SecretBytes::cleanse(keyPair);
    SecretBytes::cleanse(item);
    if (status != CredentialStore::success) {
        result.keychainStatus = status;
        return result;
    }

    if (auto error = prepareMachineDirectory(CoreConstants::machineDirectory())) {
        result.fileError = *error;
        return result;
    }
    if (auto error = PrivateFiles::writeAtomically(CoreConstants::machineConfigPath(), config.encode())) {
        result.fileError = *error;
        return result;
    }
    if (auto error = PrivateFiles::writeAtomically(CoreConstants::publicKeyPath(), base64urlEncode(publicKey).toUtf8()))
        result.fileError = *error;
    return result;
}

std::optional<MachineRegistrationError> MachineAuthService::failureOf(const StoreResult& stored)
{
    if (stored.keychainStatus != CredentialStore::success)
        return MachineRegistrationError::keychainWriteFailed(stored.keychainStatus);
    if (!stored.fileError.isEmpty())
        return MachineRegistrationError::fileWriteFailed(stored.fileError);
    return std::nullopt;
}

std::optional<MachineRegistrationError> MachineAuthService::replaceIdentity(const MachineConfig& config,
                                                                         const Ed25519Key& key)
{
    // The loaded identity stays whole until the new one is stored: its key item
    // is kept in memory and its folder is moved aside (one rename), and both
    // come back on any failure.
    const QString folder = CoreConstants::machineDirectory();
    const QString aside = folder + QStringLiteral(".previous");
    const QString oldAccount = m_config->machineIdLocal;
    std::optional<QByteArray> oldItem
        = m_store.read(CoreConstants::keychainService(), oldAccount, CoreConstants::keychainAccessGroup());
    // A folder left aside by an interrupted replacement is older than the loaded one.
    QDir(aside).removeRecursively();
    if (::rename(encodedPath(folder).constData(), encodedPath(aside).constData()) != 0 && errno != ENOENT) {
        const QString error = QStringLiteral("cannot set %1 aside: %2").arg(folder, errnoText(errno));
        if (oldItem)
            SecretBytes::cleanse(*oldItem);
        return MachineRegistrationError::fileWriteFailed(error);
    }
    // Key items of earlier identities go with the loaded one's.
    m_store.removeAll(CoreConstants::keychainService(), CoreConstants::keychainAccessGroup());

    const StoreResult stored = storeIdentity(m_store, config, key);
    if (stored.ok()) {
        QDir(aside).removeRecursively();
        if (oldItem)
            SecretBytes::cleanse(*oldItem);
        return std::nullopt;
    }

    m_store.remove(CoreConstants::keychainService(), config.machineIdLocal, CoreConstants::keychainAccessGroup());
    bool restored = true;
    if (oldItem) {
        restored = m_store.add(CoreConstants::keychainService(), oldAccount, CoreConstants::keychainAccessGroup(),
                               *oldItem)
            == CredentialStore::success;
        SecretBytes::cleanse(*oldItem);
    }
    QDir(folder).removeRecursively();
    if (::rename(encodedPath(aside).constData(), encodedPath(folder).constData()) != 0 && errno != ENOENT)
        restored = false;
    qCWarning(lcIdentity).noquote()
        << (restored ? QStringLiteral("Quorvane: registration failed; the previous machine identity is kept")
                     : QStringLiteral("Quorvane: registration failed and the previous machine identity "
                                      "could not be put back whole"));
    return failureOf(stored);
}

QCoro::Task<std::optional<MachineRegistrationError>> MachineAuthService::registerMachine(QString sessionToken,
                                                                                        QString email)
{
    // Another user's identity is replaced only once the new one is stored.
    if (isConfigured() && m_config->userId == email)
        co_return std::nullopt;

    const std::optional<Ed25519Key> key = Ed25519Key::generate();
    if (!key)
        co_return MachineRegistrationError::systemError(QStringLiteral("Key generation failed"));
    const LocalMachine local = m_localMachine();

    QJsonObject registration;
    registration.insert(QLatin1String("public_key"), base64urlEncode(key->publicKey()));
    registration.insert(QLatin1String("machine_id_local"), local.identifier);
    registration.insert(QLatin1String("name"), local.name);
    const QByteArray body = QJsonDocument(registration).toJson(QJsonDocument::Compact);

    const QUrl url = ApiUrl::endpoint(QStringLiteral("/machines/register"));
    if (!url.isValid())
        co_return MachineRegistrationError::networkError(QStringLiteral("Invalid URL"));
    const QByteArray cookie = QByteArrayLiteral("quorvane_session=") + sessionToken.toUtf8();
    // A line break in the token would end the header early and add others.
    if (!HttpWireFormat::isFieldValue(cookie))
        co_return MachineRegistrationError::networkError(QStringLiteral("Invalid session token"));
    QNetworkRequest request(url);
    request.setTransferTimeout(requestTimeoutMilliseconds);
    request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json"));
    request.setRawHeader(QByteArrayLiteral("Cookie"), cookie);

    const LifetimeGuard guard(this);
    const Http::Limits limits{RegisterResponse::maximumSize, Http::requestDeadlineMs};
    const QByteArray method = QByteArrayLiteral("POST");
    const HttpResponse response = co_await Http::send(network(), request, method, body, limits);
    if (!guard.alive())
        co_return MachineRegistrationError::systemError(QStringLiteral("Cancelled"));
    if (!response.isHttp()) {
        co_return response.transportError.isEmpty()
            ? MachineRegistrationError::networkError(QStringLiteral("No HTTP response"))
            : MachineRegistrationError::systemError(response.transportError);
    }
    if (response.status != 200 && response.status != 201) {
        // The back-end's text is shown as it is, but never more than a few lines of it.
        QString text = response.bodyTooLarge ? QStringLiteral("(answer too large)")
                                             : bodyText(response.body, QStringLiteral("Unknown"));
        if (text.size() > maximumErrorTextLength)
            text = text.left(maximumErrorTextLength) + QStringLiteral("…");
        co_return MachineRegistrationError::apiError(response.status, text);
    }
    const std::optional<RegisterResponse> registered = RegisterResponse::decode(response.body);
    if (!registered)
        co_return MachineRegistrationError::systemError(QStringLiteral("Invalid registration response"));

    const MachineConfig config{registered->machineId, registered->userId, local.identifier, local.name};
    // Whatever identity is loaded now (it may have changed while the request
    // ran) stays until the new one is stored.
    if (isConfigured()) {
        if (auto failure = replaceIdentity(config, *key))
            co_return failure;
    } else {
        if (auto failure = failureOf(storeIdentity(m_store, config, *key)))
            co_return failure;
    }

    qCInfo(lcIdentity).noquote()
        << QStringLiteral("Quorvane: Machine registered — id=") + config.id.left(8) + QStringLiteral("…");
    reload();
    co_return std::nullopt;
}

QCoro::Task<std::variant<LinkResult, LinkError>> MachineAuthService::linkAgent(QString agentId)
{
    if (!m_config || !m_signingKey)
        co_return LinkError::notConfigured();
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/agents/link-machine"));
    if (!url.isValid())
        co_return LinkError::networkError(QStringLiteral("Invalid URL"));
    // Escaped, so that any agent id still makes a valid JSON body.
    const QByteArray body = QByteArrayLiteral("{\"agent_id\":\"") + JsonText::escaped(agentId) + QByteArrayLiteral("\"}");
    const std::optional<SignedRequest> request = signedPOSTRequest(url, body);
    if (!request)
        co_return LinkError::signFailed();

    const HttpResponse response = co_await Http::send(network(), *request);
    if (!response.isHttp()) {
        co_return response.transportError.isEmpty() ? LinkError::networkError(QStringLiteral("No HTTP response"))
                                                    : LinkError::systemError(response.transportError);
    }
    if (response.status == 200) {
        if (const std::optional<LinkResult> result = LinkResult::decode(response.body))
            co_return *result;
        co_return LinkError::systemError(QStringLiteral("Invalid link response"));
    }
    const QString text = bodyText(response.body, QStringLiteral("Unknown error"));
    if (response.status == 409)
        co_return LinkError::duplicateName(text);
    co_return LinkError::apiError(response.status, text);
}
