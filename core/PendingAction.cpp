#include "core/PendingAction.h"

#include "core/JsonFields.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <QVariant>

#include <cmath>
#include <utility>

namespace {

void setError(QString* error, QLatin1String key, QLatin1String reason)
{
    if (error)
        *error = key + QLatin1String(": ") + reason;
}

bool decodeRequiredText(const QJsonObject& object, QLatin1String key, QString& out, QString* error)
{
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        setError(error, key, value.isUndefined() ? QLatin1String("missing") : QLatin1String("not text"));
        return false;
    }
    out = value.toString();
    return true;
}

bool decodeOptionalText(const QJsonObject& object, QLatin1String key, std::optional<QString>& out,
    QString* error)
{
    if (JsonFields::readOptionalText(object, key, out))
        return true;
    setError(error, key, QLatin1String("neither text nor null"));
    return false;
}

// A text-to-text map, or the empty map for anything else.
QMap<QString, QString> decodeToolInput(const QJsonValue& value)
{
    if (!value.isObject())
        return {};
    const QJsonObject object = value.toObject();
    QMap<QString, QString> map;
    for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
        const QJsonValue member = it.value();
        if (!member.isString())
            return {};
        // The object iterates in key order, so every insertion is at the end.
        map.insert(map.cend(), it.key(), member.toString());
    }
    return map;
}

// A whole number that fits 64 bits, else 1. Integers arrive as qint64; other
// numbers as double, accepted only when whole and in range (the bounds are
// checked before converting, so no conversion overflows).
qint64 decodeMachineAgentCount(const QJsonValue& value)
{
    constexpr qint64 fallback = 1;
    if (!value.isDouble())
        return fallback;
    const QVariant number = value.toVariant();
    if (number.typeId() == QMetaType::LongLong)
        return number.toLongLong();
    const double d = value.toDouble();
    constexpr double lowest = -9223372036854775808.0; // -2^63, exact
    constexpr double beyond = 9223372036854775808.0;  // 2^63, exact
    if (!std::isfinite(d) || d < lowest || d >= beyond || std::trunc(d) != d)
        return fallback;
    return static_cast<qint64>(d);
}

// --- ISO 8601 internet date-time (RFC 3339) ---------------------------------

class DateTimeReader
{
public:
    explicit DateTimeReader(QStringView text)
        : m_text(text)
    {
    }

    bool atEnd() const { return m_pos == m_text.size(); }
    bool digits(int count, int& out)
    {
        if (m_text.size() - m_pos < count)
            return false;
        int value = 0;
        for (int i = 0; i < count; ++i) {
            const char16_t c = m_text[m_pos + i].unicode();
            if (c < u'0' || c > u'9')
                return false;
            value = value * 10 + (c - u'0');
        }
        m_pos += count;
        out = value;
        return true;
    }
    bool accept(char16_t c)
    {
        if (atEnd() || m_text[m_pos].unicode() != c)
            return false;
        ++m_pos;
        return true;
    }
    bool acceptEither(char16_t a, char16_t b) { return accept(a) || accept(b); }
    bool peekDigit() const
    {
        if (atEnd())
            return false;
        const char16_t c = m_text[m_pos].unicode();
        return c >= u'0' && c <= u'9';
    }
    int nextDigit() { return m_text[m_pos++].unicode() - u'0'; }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to the given proleptic Gregorian date.
qint64 daysFromCivil(qint64 year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const qint64 yearOfEra = year - era * 400;
    const qint64 dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// YYYY-MM-DDTHH:MM:SS[.fraction](Z|+hh:mm|-hh:mm), "T" and "Z" in either case
// as RFC 3339 allows. Fields are range-checked (day against the month, second
// 60 only as a leap second); nothing may follow. Fractions keep milliseconds.
std::optional<QDateTime> parseInternetDateTime(QStringView text)
{
    DateTimeReader reader(text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!reader.digits(4, year) || !reader.accept(u'-') || !reader.digits(2, month) || !reader.accept(u'-')
        || !reader.digits(2, day) || !reader.acceptEither(u'T', u't') || !reader.digits(2, hour)
        || !reader.accept(u':') || !reader.digits(2, minute) || !reader.accept(u':')
        || !reader.digits(2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59
        || second > 60)
        return std::nullopt;

    int milliseconds = 0;
    if (reader.accept(u'.')) {
        if (!reader.peekDigit())
            return std::nullopt;
        int scale = 100;
        while (reader.peekDigit()) {
            const int digit = reader.nextDigit();
            milliseconds += digit * scale;
            scale /= 10;
        }
    }

    int offsetMinutes = 0;
    if (!reader.acceptEither(u'Z', u'z')) {
        int sign = 0;
        if (reader.accept(u'+'))
            sign = 1;
        else if (reader.accept(u'-'))
            sign = -1;
        else
            return std::nullopt;
        int offsetHour = 0, offsetMinute = 0;
        if (!reader.digits(2, offsetHour) || !reader.accept(u':') || !reader.digits(2, offsetMinute)
            || offsetHour > 23 || offsetMinute > 59)
            return std::nullopt;
        offsetMinutes = sign * (offsetHour * 60 + offsetMinute);
    }
    if (!reader.atEnd())
        return std::nullopt;

    // A leap second (:60) is the instant that follows :59.
    const qint64 seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second
        - qint64(offsetMinutes) * 60;
    return QDateTime::fromMSecsSinceEpoch(seconds * 1000 + milliseconds, Qt::UTC);
}

// --- MCP tool names ------------------------------------------------------------

// "_" and "-" become spaces; each space-separated word gets its first character
// upper-cased, the rest of the word unchanged; words are joined by one space.
QString titleCased(QString text)
{
    text.replace(u'_', u' ').replace(u'-', u' ');
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    QString result;
    for (const QString& word : words) {
        if (!result.isEmpty())
            result += u' ';
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
        qsizetype firstEnd = finder.toNextBoundary();
        if (firstEnd <= 0)
            firstEnd = 1;
        result += word.first(firstEnd).toUpper();
        result += QStringView(word).sliced(firstEnd);
    }
    return result;
}

struct McpName
{
    QString service;
    QString tool;
};

std::optional<McpName> splitMcpName(const QString& toolName)
{
    static constexpr QLatin1String prefix { "mcp__" };
    static constexpr QLatin1String separator { "__" };
    if (!toolName.startsWith(prefix))
        return std::nullopt;
    const QStringView rest = QStringView(toolName).sliced(prefix.size());
    const qsizetype at = rest.indexOf(separator);
    if (at < 0)
        return std::nullopt;
    QStringView server = rest.first(at);
    const QStringView tool = rest.sliced(at + separator.size());
    if (server.isEmpty() || tool.isEmpty())
        return std::nullopt;

    QString service;
    static constexpr QLatin1String claudePrefix { "claude_ai_" };
    static constexpr QLatin1String pluginPrefix { "plugin_" };
    if (server.startsWith(claudePrefix)) {
        service = server.sliced(claudePrefix.size()).toString();
    } else if (server.startsWith(pluginPrefix)) {
        // plugin_<plugin>_<server>: the plugin's own name is dropped.
        const QStringView remainder = server.sliced(pluginPrefix.size());
        const QList<QStringView> pieces = remainder.split(u'_', Qt::SkipEmptyParts);
        if (pieces.size() >= 2) {
            for (qsizetype i = 1; i < pieces.size(); ++i) {
                if (i > 1)
                    service += u'_';
                service += pieces[i];
            }
        } else {
            service = remainder.toString();
        }
    } else {
        service = server.toString();
    }

    McpName name { titleCased(std::move(service)), titleCased(tool.toString()) };
    // A part made only of separators (or only of the stripped prefix) has no
    // words left: an empty badge and a title beginning with ": " say nothing,
    // so such a name counts as not splitting.
    if (name.service.isEmpty() || name.tool.isEmpty())
        return std::nullopt;
    return name;
}

} // namespace

std::optional<PendingAction> PendingAction::fromJson(const QJsonValue& value, QString* error)
{
    if (!value.isObject()) {
        if (error)
            *error = QStringLiteral("not an object");
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    PendingAction action;
    if (!decodeRequiredText(object, QLatin1String("id"), action.id, error)
        || !decodeRequiredText(object, QLatin1String("agent_id"), action.agentId, error)
        || !decodeRequiredText(object, QLatin1String("agent_name"), action.agentName, error)
        || !decodeOptionalText(object, QLatin1String("agent_machine"), action.agentMachine, error)
        || !decodeRequiredText(object, QLatin1String("tool_name"), action.toolName, error)
        || !decodeOptionalText(object, QLatin1String("tool_input_summary"), action.toolInputSummary, error)
        || !decodeOptionalText(object, QLatin1String("classification"), action.classification, error)
        || !decodeRequiredText(object, QLatin1String("created_at"), action.createdAt, error)
        || !decodeRequiredText(object, QLatin1String("expires_at"), action.expiresAt, error)
        || !decodeOptionalText(object, QLatin1String("explanation"), action.explanation, error))
        return std::nullopt;
    action.toolInput = decodeToolInput(object.value(QLatin1String("tool_input")));
    action.machineAgentCount = decodeMachineAgentCount(object.value(QLatin1String("machine_agent_count")));
    return action;
}

QString PendingAction::toolSummary() const
{
    if (!toolInput.isEmpty()) {
        static constexpr QLatin1String preferred[]
            = { QLatin1String("summary"), QLatin1String("command"), QLatin1String("file_path"),
                  QLatin1String("target") };
        for (const QLatin1String key : preferred) {
            const auto it = toolInput.constFind(key);
            if (it != toolInput.cend())
                return *it;
        }
        return toolInput.cbegin().value();
    }
    return toolInputSummary.value_or(toolName);
}

QString PendingAction::shortSummary() const
{
    const auto it = toolInput.constFind(QStringLiteral("short_summary"));
    return it != toolInput.cend() ? *it : toolSummary();
}

QString PendingAction::displaySummary() const
{
    return shortSummary();
}

std::optional<QList<CommandSegment>> PendingAction::detailSegments() const
{
    const auto it = toolInput.constFind(QStringLiteral("detail_segments"));
    if (it == toolInput.cend())
        return std::nullopt;
    return CommandSegment::listFromJson(it->toUtf8());
}

std::optional<QDateTime> PendingAction::expiresDate() const
{
    return parseInternetDateTime(expiresAt);
}

std::optional<double> PendingAction::timeRemaining(const QDateTime& now) const
{
    const std::optional<QDateTime> expires = expiresDate();
    if (!expires || !now.isValid())
        return std::nullopt;
    return double(expires->toMSecsSinceEpoch() - now.toMSecsSinceEpoch()) / 1000.0;
}

std::optional<double> PendingAction::timeRemaining() const
{
    return timeRemaining(QDateTime::currentDateTimeUtc());
}

bool PendingAction::isExpired(const QDateTime& now) const
{
    const std::optional<double> remaining = timeRemaining(now);
    return !remaining || *remaining <= 0;
}

bool PendingAction::isExpired() const
{
    return isExpired(QDateTime::currentDateTimeUtc());
}

bool PendingAction::isUnregister() const
{
    return toolName == unregisterToolName;
}

bool PendingAction::canCreateRule() const
{
    return toolName != unregisterToolName && toolName != linkToolName;
}

bool PendingAction::isMcpTool() const
{
    return toolName.startsWith(QLatin1String("mcp__"));
}

std::optional<QString> PendingAction::mcpServiceName() const
{
    std::optional<McpName> name = splitMcpName(toolName);
    if (!name)
        return std::nullopt;
    return std::move(name->service);
}

std::optional<QString> PendingAction::mcpDisplayName() const
{
    const std::optional<McpName> name = splitMcpName(toolName);
    if (!name)
        return std::nullopt;
    return name->service + QLatin1String(": ") + name->tool;
}

QString PendingAction::displayName() const
{
    return mcpDisplayName().value_or(shortSummary());
}
