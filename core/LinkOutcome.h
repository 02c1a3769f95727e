#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What linking an agent to the signed-in account came to.
struct LinkOutcome
{
    bool linked = false;
    bool seeded = false; // the account's rules were seeded from the agent's template
    qint64 rulesCount = 0;
    std::optional<QString> refusal; // the back-end's "error" text when it refused the link

    static constexpr qsizetype maximumSize = 64 * 1024;
    // Reads an HTTP answer to the link request. Status 200 with a JSON object
    // links: "seeded" counts when it is a boolean, "rules_count" when it is a
    // whole number; anything else there reads as false and 0. Any other answer
    // does not link, and carries the "error" text of a JSON object body.
    static LinkOutcome fromResponse(int status, const QByteArray& body);

    bool operator==(const LinkOutcome& other) const = default;
};
