// Prepares a demo home against a running reference back-end: registers a new
// machine for an account (through the control interface's session) and stores
// its identity as the registration flow would, in the file credential store
// under QUORVANE_HOME. Needs a build with the dev overrides.
//
//   quorvane-demo-provision <back-end origin> [email]
#include "CoreConstants.h"
#include "Ed25519Key.h"
#include "FileCredentialStore.h"
#include "MachineAuthService.h"
#include "OriginCheck.h"
#include "MachineConfig.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>
#include <QTimer>
#include <QUuid>

#include <QCoroNetwork>
#include <QCoroTask>

#include <cstdio>

namespace {

QCoro::Task<QJsonObject> postJson(QNetworkAccessManager& network, QUrl url, QJsonObject body, QByteArray cookie)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    std::unique_ptr<QNetworkReply> reply(co_await network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact)));
    const QByteArray answer = reply->readAll();
    if (reply->error() != QNetworkReply::NoError) {
        std::fprintf(stderr, "quorvane-demo-provision: %s: %s\n", qPrintable(url.toString()),
                     qPrintable(reply->errorString()));
        co_return QJsonObject();
    }
    co_return QJsonDocument::fromJson(answer).object();
}

QCoro::Task<int> provision(QString origin, QString email)
{
    QNetworkAccessManager network;
    network.setTransferTimeout(MachineAuthService::requestTimeoutMilliseconds);
    // GCC 12 miscompiles braced temporaries inside co_await expressions: named locals only.
    QJsonObject userRequest;
    userRequest.insert(QLatin1String("email"), email);
    const QJsonObject user
        = co_await postJson(network, QUrl(origin + QLatin1String("/_control/users")), userRequest, QByteArray());
    const QString session = user.value(QLatin1String("session_token")).toString();
    if (session.isEmpty())
        co_return 1;
    const std::optional<Ed25519Key> key = Ed25519Key::generate();
    if (!key)
        co_return 1;
    const QString localId = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    QString name = QSysInfo::machineHostName();
    if (name.isEmpty())
        name = QStringLiteral("demo-host");
    QJsonObject registration;
    registration.insert(QLatin1String("public_key"), MachineAuthService::base64urlEncode(key->publicKey()));
    registration.insert(QLatin1String("machine_id_local"), localId);
    registration.insert(QLatin1String("name"), name);
    const QByteArray cookie = "quorvane_session=" + session.toUtf8();
    const QJsonObject registered
        = co_await postJson(network, QUrl(origin + QLatin1String("/machines/register")), registration, cookie);
    const QString machineId = registered.value(QLatin1String("machine_id")).toString();
    const QString userId = registered.value(QLatin1String("user_id")).toString();
    if (machineId.isEmpty() || userId.isEmpty())
        co_return 1;
    FileCredentialStore store;
    const MachineAuthService::StoreResult stored
        = MachineAuthService::storeIdentity(store, MachineConfig{machineId, userId, localId, name}, *key);
    if (!stored.ok()) {
        std::fprintf(stderr, "quorvane-demo-provision: storing the identity failed: %s\n",
                     qPrintable(stored.fileError));
        co_return 1;
    }
    std::printf("%s\n", qPrintable(machineId));
    co_return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2 || !OriginCheck::isAcceptable(arguments.at(1))) {
        std::fprintf(stderr, "usage: quorvane-demo-provision <back-end origin> [email]\n");
        return 2;
    }
    const QString email = arguments.size() > 2 ? arguments.at(2) : QStringLiteral("person@example.com");
    int status = 1;
    QTimer::singleShot(0, &app, [&] {
        QCoro::connect(provision(arguments.at(1), email), &app, [&](int result) {
            status = result;
            QCoreApplication::exit(result);
        });
    });
    app.exec();
    return status;
}
