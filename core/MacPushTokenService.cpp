#include "core/MacPushTokenService.h"

#include "core/ApiUrl.h"
#include "core/Http.h"
#include "core/JsonText.h"
#include "core/MachineAuthService.h"
#include "core/LogCategories.h"

MacPushTokenService::MacPushTokenService(MachineAuthService& auth, QNetworkAccessManager& network, QObject* parent)
    : QObject(parent), m_auth(auth), m_network(network)
{
}

QByteArray MacPushTokenService::requestBody(const QString& token)
{
    return "{\"push_token\":\"" + JsonText::escaped(token) + "\",\"platform\":\"apns-macos\"}";
}

QCoro::Task<> MacPushTokenService::updatePushToken(QString token)
{
    const std::optional<MachineConfig>& config = m_auth.config();
    if (!config)
        co_return;
    const QUrl url =
        ApiUrl::endpoint(QStringLiteral("/machines/") + ApiUrl::pathSegment(config->id) + QStringLiteral("/push-token"));
    if (!url.isValid())
        co_return;
    const std::optional<SignedRequest> request = m_auth.signedPUTRequest(url, requestBody(token));
    if (!request)
        co_return;

    // Only local values are used after the wait: this object may be gone by then.
    const HttpResponse response = co_await Http::send(m_network, *request);
    if (!response.isHttp())
        qCWarning(lcPush).noquote() << QStringLiteral("Quorvane: push token update error: ") + response.transportError;
    else if (response.status == 200)
        qCInfo(lcPush).noquote() << QStringLiteral("Quorvane: push token registered");
    else
        qCWarning(lcPush).noquote()
            << QStringLiteral("Quorvane: push token update failed: HTTP ") + QString::number(response.status);
}
