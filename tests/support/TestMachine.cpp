#include "TestMachine.h"

#include "BackendProcess.h"
#include "Ed25519Key.h"
#include "MachineAuthService.h"

#include <QUuid>

std::optional<TestMachine> TestMachine::provision(BackendProcess& backend, CredentialStore& store, const QString& email)
{
    const std::optional<Ed25519Key> key = Ed25519Key::generate();
    if (!key)
        return std::nullopt;
    const QString userId = backend.createUser(email).value(QLatin1String("user_id")).toString();
    const QString localId = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString name = QStringLiteral("test-host");
    const QString machineId
        = backend.registerMachine(email, MachineAuthService::base64urlEncode(key->publicKey()), localId, name);
    if (machineId.isEmpty() || userId.isEmpty())
        return std::nullopt;

    TestMachine machine;
    machine.config = MachineConfig{machineId, userId, localId, name};
    if (!MachineAuthService::storeIdentity(store, machine.config, *key).ok())
        return std::nullopt;
    return machine;
}
