#include "tests/support/TestMachine.h"

#include "tests/support/BackendProcess.h"
#include "core/MachineAuthService.h"
#include "platform/MachineIdentifier.h"

#include <QNetworkAccessManager>

std::optional<TestMachine> TestMachine::provision(BackendProcess& backend, CredentialStore& store, const QString& email)
{
    const QString session = backend.createUser(email).value(QLatin1String("session_token")).toString();
    if (session.isEmpty())
        return std::nullopt;
    QNetworkAccessManager network;
    MachineAuthService auth(store, network, &MachineIdentifier::localMachine);
    const std::optional<MachineRegistrationError> error = QCoro::waitFor(auth.registerMachine(session, email));
    if (error) {
        qWarning("registration failed: %s", qPrintable(error->description()));
        return std::nullopt;
    }
    if (!auth.isConfigured())
        return std::nullopt;
    return TestMachine{*auth.config()};
}
