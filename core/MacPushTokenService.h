#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <QCoroTask>

class MachineAuthService;
class QNetworkAccessManager;

// Uploads this machine's remote-notification token to the back-end
// (PUT /machines/<id>/push-token, signed), so that the back-end can wake the
// program when an action waits. Failures are only logged; nothing is retried:
// every token handed over later is uploaded again the same way.
class MacPushTokenService : public QObject
{
    Q_OBJECT
public:
    MacPushTokenService(MachineAuthService& auth, QNetworkAccessManager& network, QObject* parent = nullptr);

    // Uploads token (lower-case hexadecimal text). Does nothing on a machine
    // without identity; only an answer with status 200 counts as registered.
    QCoro::Task<> updatePushToken(QString token);

    // {"push_token":"<token>","platform":"apns-macos"}: the token as a JSON
    // string, so odd input still gives valid JSON; ordinary tokens byte for byte.
    static QByteArray requestBody(const QString& token);

private:
    MachineAuthService& m_auth;
    QNetworkAccessManager& m_network;
};
