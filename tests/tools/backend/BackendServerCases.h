#pragma once

#include "tests/support/BackendProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

#include <openssl/evp.h>

#include <memory>

// What the reference back-end's server tests share: a signer written here on
// OpenSSL, independent of both the companion's and the back-end's code, the
// headers of a request signed the way the companion signs it, and the running
// back-end (reset before each case).

// An Ed25519 key made and used with OpenSSL directly.
class TestSigner
{
public:
    TestSigner()
    {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
        EVP_PKEY* key = nullptr;
        if (ctx && EVP_PKEY_keygen_init(ctx) == 1)
            EVP_PKEY_keygen(ctx, &key);
        EVP_PKEY_CTX_free(ctx);
        m_key.reset(key);
    }
    bool isValid() const { return bool(m_key); }
    QByteArray publicKey() const
    {
        QByteArray raw(32, '\0');
        size_t len = 32;
        EVP_PKEY_get_raw_public_key(m_key.get(), reinterpret_cast<unsigned char*>(raw.data()), &len);
        return raw;
    }
    QString publicKeyBase64url() const
    {
        return QString::fromLatin1(publicKey().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    }
    QByteArray sign(const QByteArray& message) const
    {
        QByteArray sig(64, '\0');
        size_t len = 64;
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, m_key.get());
        EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(sig.data()), &len,
                       reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size()));
        EVP_MD_CTX_free(ctx);
        return sig;
    }
    QByteArray signature(const QByteArray& message) const
    {
        return sign(message).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    }

private:
    struct Free
    {
        void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
    };
    std::unique_ptr<EVP_PKEY, Free> m_key;
};

inline QByteArray nowMs()
{
    return QByteArray::number(QDateTime::currentMSecsSinceEpoch());
}

// Headers of a request signed the way the companion signs it.
inline BackendProcess::Headers signedHeaders(const TestSigner& signer, const QString& machineId, const QByteArray& method,
                                      const QByteArray& target, const QByteArray& body)
{
    const QByteArray id = machineId.toUtf8();
    const QByteArray message = (method == "GET" || method == "DELETE")
        ? QByteArray(id + ':' + nowMs() + ':' + method + ' ' + QByteArray::fromPercentEncoding(target))
        : QByteArray(id + ':' + nowMs() + ':' + body);
    BackendProcess::Headers h;
    if (!body.isEmpty())
        h.append({QByteArray("Content-Type"), QByteArray("application/json")});
    h.append({QByteArray("X-Machine-Id"), id});
    h.append({QByteArray("X-Signature"), signer.signature(message)});
    h.append({QByteArray("X-Signed-Message"), message});
    return h;
}

inline QNetworkRequest streamRequest(const BackendProcess& backend, const TestSigner& signer, const QString& machineId)
{
    QUrl url = backend.url(QStringLiteral("/ws/user"));
    url.setScheme(QStringLiteral("ws"));
    QNetworkRequest request(url);
    for (const auto& h : signedHeaders(signer, machineId, "GET", "/ws/user", {}))
        request.setRawHeader(h.first, h.second);
    // The companion adds this header itself as well.
    request.setRawHeader("Upgrade", "websocket");
    return request;
}

inline QJsonObject parse(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

class BackendServerCases
{
protected:
    void startBackend()
    {
        m_backend = std::make_unique<BackendProcess>();
        QVERIFY2(m_backend->isRunning(), qPrintable(m_backend->lastError()));
        QVERIFY(m_backend->url().host() == QLatin1String("127.0.0.1"));
    }

    QString registerMachine(const TestSigner& signer, const QString& email = QStringLiteral("dev@example.com"),
                            const QString& local = QStringLiteral("LOCAL-1"))
    {
        return m_backend->registerMachine(email, signer.publicKeyBase64url(), local, QStringLiteral("devbox"));
    }

    BackendProcess::Reply signedRequest(const TestSigner& signer, const QString& machineId, const QByteArray& method,
                                        const QByteArray& target, const QByteArray& body = {})
    {
        return m_backend->request(method, target, body, signedHeaders(signer, machineId, method, target, body));
    }

    std::unique_ptr<BackendProcess> m_backend;
};
