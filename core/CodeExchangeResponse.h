#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The web origin's answer to trading a sign-in code: status 200 and a JSON
// object whose "session" is a non-empty text; "email" is optional.
struct CodeExchangeResponse
{
    QString session;
    std::optional<QString> email; // absent unless "email" is a text

    static constexpr qsizetype maximumSize = 64 * 1024;
    // Nothing for another status, a larger body, a body that is not a JSON
    // object, or a missing, non-text or empty "session".
    static std::optional<CodeExchangeResponse> decode(int status, const QByteArray& body);
};
