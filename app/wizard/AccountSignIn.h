#pragma once

#include "core/VisibleText.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <functional>
#include <QtQmlIntegration/qqmlintegration.h>

class QNetworkAccessManager;

// The browser sign-in of the sign-in screen and what it leaves: "Sign in with
// Google" opens the sign-in page with a fresh random "state", the callback
// that carries that state back is exchanged for the account's session, once.
// The session token stays in memory and is wiped when set-up ends.
class AccountSignIn : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("owned by the wizard state")
    // The browser is open for the sign-in, or its code is being exchanged.
    Q_PROPERTY(bool isWaiting READ isWaiting NOTIFY isWaitingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString email READ email NOTIFY emailChanged)
    // The e-mail as the done screen shows it.
    Q_PROPERTY(QString shownEmail READ shownEmail NOTIFY emailChanged)

public:
    // Opens a URL in the person's default browser; false when nothing opened it.
    using BrowserOpener = std::function<bool(const QUrl&)>;

    explicit AccountSignIn(QObject* parent);
    // How the sign-in page is opened (default: the desktop's handler for web links).
    void setBrowserOpener(BrowserOpener opener) { m_openBrowser = std::move(opener); }

    bool isWaiting() const { return m_waiting; }
    QString errorMessage() const { return visibleText(m_errorMessage); }
    QString email() const { return m_email; }
    QString shownEmail() const { return visibleText(m_email); }
    // The account session from the sign-in; empty: none.
    QString sessionToken() const { return m_sessionToken; }
    bool isWaitingForBrowser() const { return m_browserWait != nullptr; }

    // "Sign in with Google" and "Retry".
    Q_INVOKABLE void start();
    // "Stop waiting": the browser gives no sign of a sign-in given up, so the
    // person ends the wait; no error is shown. A code that still arrives later
    // is accepted.
    Q_INVOKABLE void stopWaiting();
    // A callback of our scheme while the sign-in screen is shown: ignored with
    // one log line unless its "state" is the current attempt's (none before
    // "Sign in with Google"); a matching callback uses the attempt up. While
    // the browser wait lasts, a callback ends it (one without a usable code is
    // then an error); otherwise only a callback with a code is taken. Returns
    // whether the callback was dealt with.
    bool handleCallback(const QUrl& url, QNetworkAccessManager& network);
    // Wipes the session token.
    void forgetSession();

Q_SIGNALS:
    void isWaitingChanged();
    void errorMessageChanged();
    void emailChanged();
    // The code exchange gave a session.
    void signedIn();

private:
    friend struct WizardTestAccess;
    // The code exchange: sets the session or the error.
    QCoro::Task<> exchangeCode(QString code, QNetworkAccessManager& network);
    void completeBrowserWait(const QUrl& callbackURL, QNetworkAccessManager& network);
    void setWaiting(bool value);
    void setErrorMessage(const QString& value);
    void setSession(const QString& token, const QString& email);

    BrowserOpener m_openBrowser;
    bool m_waiting = false;
    QString m_errorMessage; // empty: none
    QString m_sessionToken; // empty: none
    QString m_email; // empty: none
    QPointer<QObject> m_browserWait; // the browser sign-in while it is waited for
    QString m_attemptState; // the current attempt's state; empty: none is open
};
