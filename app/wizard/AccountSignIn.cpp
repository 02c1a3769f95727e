#include "app/wizard/AccountSignIn.h"

#include "core/CodeExchangeResponse.h"
#include "core/CoreConstants.h"
#include "core/Http.h"
#include "core/LifetimeGuard.h"
#include "core/LogCategories.h"
#include "core/SecretBytes.h"
#include "core/SignInCallback.h"

#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

constexpr int exchangeTimeoutMilliseconds = 60 * 1000;

} // namespace

AccountSignIn::AccountSignIn(QObject* parent)
    : QObject(parent)
    , m_openBrowser(&QDesktopServices::openUrl)
{
}

void AccountSignIn::start()
{
    setWaiting(true);
    setErrorMessage(QString());
    delete m_browserWait.data();
    // Each attempt has a state of its own: only the callback that carries it
    // back is taken, and a callback of an earlier attempt no longer is.
    m_attemptState = SignInCallback::newState();
    const QUrl page(CoreConstants::webBaseURL() + QStringLiteral("/auth/login?platform=macos&state=")
                    + m_attemptState);
    if (!page.isValid() || !m_openBrowser || !m_openBrowser(page)) {
        m_attemptState.clear();
        setWaiting(false);
        setErrorMessage(tr("Could not open the web browser"));
        return;
    }
    m_browserWait = new QObject(this);
}

void AccountSignIn::stopWaiting()
{
    if (!m_browserWait)
        return;
    delete m_browserWait.data();
    setWaiting(false);
}

bool AccountSignIn::handleCallback(const QUrl& url, QNetworkAccessManager& network)
{
    // Any local program can open a quorvane: link: only the callback of this
    // program's current attempt is exchanged, and only once.
    if (m_attemptState.isEmpty() || SignInCallback::state(url) != std::optional<QString>(m_attemptState)) {
        qCInfo(lcWizard).noquote() << QStringLiteral("Quorvane: ignored a sign-in link: its state is not the current sign-in's");
        return true;
    }
    m_attemptState.clear();
    if (m_browserWait) {
        completeBrowserWait(url, network);
        return true;
    }
    const std::optional<QString> code = SignInCallback::code(url);
    if (!code)
        return false;
    exchangeCode(*code, network);
    return true;
}

void AccountSignIn::completeBrowserWait(const QUrl& callbackURL, QNetworkAccessManager& network)
{
    delete m_browserWait.data();
    const std::optional<QString> code = SignInCallback::code(callbackURL);
    if (!code) {
        setWaiting(false);
        setErrorMessage(tr("Invalid authentication response"));
        return;
    }
    exchangeCode(*code, network);
}

QCoro::Task<> AccountSignIn::exchangeCode(QString code, QNetworkAccessManager& network)
{
    const QUrl url(CoreConstants::webBaseURL() + QStringLiteral("/auth/exchange-code"), QUrl::StrictMode);
    if (!url.isValid()) {
        setWaiting(false);
        setErrorMessage(tr("Invalid exchange URL"));
        co_return;
    }
    setWaiting(true);
    setErrorMessage(QString());
    QNetworkRequest request(url);
    request.setTransferTimeout(exchangeTimeoutMilliseconds);
    request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json"));
    QJsonObject body;
    body.insert(QLatin1String("code"), code);
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);

    const LifetimeGuard guard(this);
    const HttpResponse response = co_await Http::send(network, request, QByteArrayLiteral("POST"), json);
    if (!guard.alive())
        co_return;
    setWaiting(false);
    if (!response.isHttp()) {
        setErrorMessage(response.transportError);
        co_return;
    }
    const std::optional<CodeExchangeResponse> exchanged = CodeExchangeResponse::decode(response.status, response.body);
    if (!exchanged) {
        setErrorMessage(tr("Authentication failed. Please try again."));
        co_return;
    }
    setSession(exchanged->session, exchanged->email.value_or(QString()));
    Q_EMIT signedIn();
}

void AccountSignIn::forgetSession()
{
    SecretBytes::cleanse(m_sessionToken);
    m_sessionToken.clear();
}

void AccountSignIn::setWaiting(bool value)
{
    if (m_waiting == value)
        return;
    m_waiting = value;
    Q_EMIT isWaitingChanged();
}

void AccountSignIn::setErrorMessage(const QString& value)
{
    if (m_errorMessage == value)
        return;
    m_errorMessage = value;
    Q_EMIT errorMessageChanged();
}

void AccountSignIn::setSession(const QString& token, const QString& email)
{
    m_sessionToken = token;
    if (m_email == email)
        return;
    m_email = email;
    Q_EMIT emailChanged();
}
