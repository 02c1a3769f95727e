#include "tests/support/BackendMachine.h"

BackendMachine::BackendMachine(bool registered)
{
    qputenv("QUORVANE_API_BASE_URL", backend.url().toString().toUtf8());
    if (registered)
        machine = TestMachine::provision(backend, store);
}

QList<QJsonObject> BackendMachine::requestsTo(const QString& target)
{
    QList<QJsonObject> result;
    for (const QJsonValue& value : backend.requests()) {
        const QJsonObject request = value.toObject();
        if (request.value(QLatin1String("target")).toString() == target)
            result << request;
    }
    return result;
}

int BackendMachine::requestCount(const QString& method, const QString& target)
{
    int count = 0;
    for (const QJsonObject& request : requestsTo(target)) {
        if (request.value(QLatin1String("method")).toString() == method)
            ++count;
    }
    return count;
}
