// Prepares a demo home against a running reference back-end: opens a session of
// an account through the control interface, then registers this computer with
// the program's own registration, which stores the identity where the program
// would: the Secret Service, or the file store under QUORVANE_HOME when
// QUORVANE_CREDENTIAL_STORE=file. Needs a build with the dev overrides.
//
//   quorvane-demo-provision <back-end origin> [email]
#include "core/CoreConstants.h"
#include "platform/CredentialStoreFactory.h"
#include "core/MachineAuthService.h"
#include "platform/MachineIdentifier.h"
#include "core/OriginCheck.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

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
    // The program's own registration, against the origin given on the command line.
    qputenv("QUORVANE_API_BASE_URL", origin.toUtf8());
    const std::unique_ptr<CredentialStore> store = CredentialStoreFactory::create();
    MachineAuthService auth(*store, network, &MachineIdentifier::localMachine);
    const std::optional<MachineRegistrationError> error = co_await auth.registerMachine(session, email);
    if (error || !auth.machineId()) {
        std::fprintf(stderr, "quorvane-demo-provision: registration failed: %s\n",
                     error ? qPrintable(error->description()) : "no identity after registration");
        co_return 1;
    }
    std::printf("%s\n", qPrintable(*auth.machineId()));
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
