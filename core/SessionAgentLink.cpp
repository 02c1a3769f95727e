#include "core/SessionAgentLink.h"

#include "core/ApiUrl.h"
#include "core/Http.h"
#include "core/JsonText.h"
#include "core/SecretBytes.h"

#include <QNetworkRequest>

namespace SessionAgentLink {

QCoro::Task<LinkOutcome> linkAgent(QNetworkAccessManager& network, QString agentId, QString sessionToken)
{
    const QUrl url = ApiUrl::endpoint(QStringLiteral("/agents/link-session"));
    if (!url.isValid())
        co_return LinkOutcome{};
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMilliseconds);
    request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json"));
    QByteArray bearer = QByteArrayLiteral("Bearer ") + sessionToken.toUtf8();
    request.setRawHeader(QByteArrayLiteral("Authorization"), bearer);
    SecretBytes::cleanse(bearer);
    // Escaped, so that any agent id still makes a valid JSON body.
    const QByteArray body = QByteArrayLiteral("{\"agent_id\":\"") + JsonText::escaped(agentId) + QByteArrayLiteral("\"}");
    const HttpResponse response = co_await Http::send(network, request, QByteArrayLiteral("POST"), body,
                                                      {LinkOutcome::maximumSize, timeoutMilliseconds});
    if (!response.isHttp())
        co_return LinkOutcome{};
    co_return LinkOutcome::fromResponse(response.status, response.body);
}

} // namespace SessionAgentLink
