#include "app/dashboard/McpInventory.h"
#include "app/tooling/SuggestionCount.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

// An inventory file as the tool (or anything else) may have left it: whatever
// body comes out must be the compact form of {"servers":[objects...]} and
// must read back to itself. The same bytes, taken as text, are read as a
// suggestion count, which must stay within the rules of its syntax.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<QByteArray> body = McpInventory::syncBody(bytes)) {
        const QJsonDocument document = QJsonDocument::fromJson(*body);
        if (!document.isObject() || document.object().size() != 1)
            __builtin_trap();
        const QJsonValue servers = document.object().value(QLatin1String("servers"));
        if (!servers.isArray())
            __builtin_trap();
        for (const QJsonValue& server : servers.toArray()) {
            if (!server.isObject())
                __builtin_trap();
        }
        if (McpInventory::syncBody(*body) != body)
            __builtin_trap();
    }

    const QString text = QString::fromUtf8(bytes);
    const qint64 count = SuggestionCount::parse(text);
    if (count != 0) {
        // Only an optional sign and ASCII digits can give a value, and the value
        // printed again must match the text without sign and leading zeros.
        QStringView digits(text);
        const bool negative = digits.startsWith(u'-');
        if (negative || digits.startsWith(u'+'))
            digits = digits.sliced(1);
        while (digits.size() > 1 && digits.front() == u'0')
            digits = digits.sliced(1);
        QString printed = QString::number(count);
        if (printed.startsWith(u'-'))
            printed.remove(0, 1);
        if ((count < 0) != negative || printed != digits)
            __builtin_trap();
    }
    return 0;
}
