#include "core/Receipt.h"

#include "core/CoreConstants.h"
#include "core/Ed25519Key.h"
#include "core/MachineAuthService.h"
#include "core/PrivateFiles.h"
#include "core/SignedRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

const QString timeKey = QStringLiteral("time");
const QString actionIdKey = QStringLiteral("action_id");
const QString agentKey = QStringLiteral("agent");
const QString toolKey = QStringLiteral("tool");
const QString summaryKey = QStringLiteral("summary");
const QString decisionKey = QStringLiteral("decision");
const QString scopeKey = QStringLiteral("scope");
const QString signedMessageKey = QStringLiteral("signed_message");
const QString signatureKey = QStringLiteral("signature");
const QString statusKey = QStringLiteral("status");
const QString outcomeKey = QStringLiteral("outcome");
const QString cutKey = QStringLiteral("cut");

// Cuts text to limit characters (never half of a surrogate pair), noting key in cut.
QString capped(const QString& text, qsizetype limit, const QString& key, QJsonArray& cut)
{
    if (text.size() <= limit)
        return text;
    cut.append(key);
    QString kept = text.left(limit);
    if (kept.back().isHighSurrogate())
        kept.chop(1);
    return kept;
}

// Cuts UTF-8 to limit bytes, never inside a character, noting key in cut.
QByteArray capped(const QByteArray& bytes, qsizetype limit, const QString& key, QJsonArray& cut)
{
    if (bytes.size() <= limit)
        return bytes;
    cut.append(key);
    qsizetype end = limit;
    const auto isContinuation = [&](qsizetype i) { return (uchar(bytes[i]) & 0xC0) == 0x80; };
    while (end > limit - 3 && isContinuation(end))
        --end;
    return bytes.left(end);
}

// The part of a signed message after "<machine id>:<timestamp>:".
std::optional<QByteArray> signedPayload(const QByteArray& message)
{
    const qsizetype first = message.indexOf(':');
    const qsizetype second = first < 0 ? -1 : message.indexOf(':', first + 1);
    if (second < 0)
        return std::nullopt;
    return message.mid(second + 1);
}

bool payloadMatches(const Receipt& receipt, const QByteArray& payload)
{
    if (receipt.decision == Receipt::trustWindowEnded)
        return payload == "DELETE /trust-window";
    const QJsonObject body = QJsonDocument::fromJson(payload).object();
    if (receipt.decision == Receipt::trustWindowStarted)
        return body.contains(QStringLiteral("duration_minutes")) || body.contains(QStringLiteral("starts_at"));
    const QString ruleScope = body.value(QStringLiteral("create_rule")).toObject().value(QStringLiteral("scope")).toString();
    return body.value(QStringLiteral("action_id")).toString() == receipt.actionId
        && body.value(QStringLiteral("decision")).toString() == receipt.decision && ruleScope == receipt.scope;
}

} // namespace

void Receipt::takeSignature(const SignedRequest& request)
{
    signedMessage = request.request.rawHeader(QByteArrayLiteral("X-Signed-Message"));
    signature = QString::fromLatin1(request.request.rawHeader(QByteArrayLiteral("X-Signature")));
}

QString Receipt::outcomeOf(int status)
{
    if (status >= 200 && status < 300)
        return confirmed;
    if (status == 409)
        return alreadyDecided;
    if (status == 404)
        return gone;
    if (status >= 400 && status < 500)
        return refused;
    return notConfirmed;
}

QByteArray Receipt::toJsonLine() const
{
    QJsonArray cut;
    QJsonObject object {
        { timeKey, capped(time, maximumFieldLength, timeKey, cut) },
        { actionIdKey, capped(actionId, maximumFieldLength, actionIdKey, cut) },
        { agentKey, capped(agent, maximumFieldLength, agentKey, cut) },
        { toolKey, capped(tool, maximumFieldLength, toolKey, cut) },
        { summaryKey, capped(summary, maximumSummaryLength, summaryKey, cut) },
        { decisionKey, capped(decision, maximumFieldLength, decisionKey, cut) },
        { scopeKey, capped(scope, maximumFieldLength, scopeKey, cut) },
        { signedMessageKey,
            QString::fromUtf8(capped(signedMessage, maximumSignedMessageSize, signedMessageKey, cut)) },
        { signatureKey, capped(signature, maximumSignatureLength, signatureKey, cut) },
        { statusKey, status },
    };
    if (!cut.isEmpty())
        object.insert(cutKey, cut);
    // Readers of older versions skip members they do not know.
    if (!outcome.isEmpty())
        object.insert(outcomeKey, outcome);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Receipt> Receipt::fromJsonLine(QByteArrayView line)
{
    if (line.size() > maximumLineSize)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const QString& key : {timeKey, actionIdKey, agentKey, toolKey, summaryKey, decisionKey, scopeKey,
                               signedMessageKey, signatureKey}) {
        if (!object.value(key).isString())
            return std::nullopt;
    }
    const QJsonValue status = object.value(statusKey);
    if (!status.isDouble() || status.toDouble() != double(status.toInt(-1)) || status.toInt() < 0 || status.toInt() > 999)
        return std::nullopt;
    Receipt receipt;
    receipt.time = object.value(timeKey).toString();
    receipt.actionId = object.value(actionIdKey).toString();
    receipt.agent = object.value(agentKey).toString();
    receipt.tool = object.value(toolKey).toString();
    receipt.summary = object.value(summaryKey).toString();
    receipt.decision = object.value(decisionKey).toString();
    receipt.scope = object.value(scopeKey).toString();
    receipt.signedMessage = object.value(signedMessageKey).toString().toUtf8();
    receipt.signature = object.value(signatureKey).toString();
    receipt.status = status.toInt();
    receipt.outcome = object.value(outcomeKey).toString();
    const QJsonValue cut = object.value(cutKey);
    if (!cut.isUndefined()) {
        if (!cut.isArray())
            return std::nullopt;
        for (const QJsonValue& key : cut.toArray()) {
            if (!key.isString())
                return std::nullopt;
            receipt.cut.append(key.toString());
        }
    }
    return receipt;
}

Receipt::Verification Receipt::verify(const QByteArray& publicKey) const
{
    for (const QString& key : { signedMessageKey, signatureKey, actionIdKey, decisionKey, scopeKey }) {
        if (cut.contains(key))
            return Verification::incomplete;
    }
    const std::optional<QByteArray> signatureBytes = MachineAuthService::base64urlDecode(signature);
    if (!signatureBytes || !Ed25519Key::verify(publicKey, signedMessage, *signatureBytes))
        return Verification::signatureInvalid;
    const std::optional<QByteArray> payload = signedPayload(signedMessage);
    if (!payload || !payloadMatches(*this, *payload))
        return Verification::contentMismatch;
    return Verification::verified;
}

std::optional<QByteArray> Receipt::machinePublicKey()
{
    const std::optional<QByteArray> text = PrivateFiles::readSmallRegularFile(CoreConstants::publicKeyPath(), 1024);
    if (!text)
        return std::nullopt;
    std::optional<QByteArray> key = MachineAuthService::base64urlDecode(QString::fromLatin1(text->trimmed()));
    if (!key || key->size() != Ed25519Key::publicKeySize)
        return std::nullopt;
    return key;
}
