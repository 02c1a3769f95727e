#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

struct SignedRequest;

// The record of one decision the companion sent to the back-end, as one line
// of the receipts log. It keeps the exact message that was signed and its
// signature, so that anyone holding the machine's public key can check later
// that this machine really sent that decision.
struct Receipt
{
    static constexpr QLatin1String trustWindowStarted{"trust_window_started"};
    static constexpr QLatin1String trustWindowEnded{"trust_window_ended"};

    // What became of the request, as the back-end's answer tells.
    static constexpr QLatin1String confirmed{"confirmed"}; // 2xx
    static constexpr QLatin1String alreadyDecided{"already_decided"}; // 409
    static constexpr QLatin1String gone{"gone"}; // 404
    static constexpr QLatin1String refused{"refused"}; // any other 4xx
    static constexpr QLatin1String notConfirmed{"not_confirmed"}; // no answer, or 5xx

    // The longest line written or read; a longer line is not a receipt.
    static constexpr qsizetype maximumLineSize = 64 * 1024;
    // Fields are cut to these lengths before they are written, so that every
    // receipt fits a line; the keys of the cut ones are listed in "cut".
    static constexpr qsizetype maximumSummaryLength = 2000; // characters of the shown summary
    static constexpr qsizetype maximumFieldLength = 256; // characters of ids, names, decision, scope, time
    static constexpr qsizetype maximumSignatureLength = 256;
    static constexpr qsizetype maximumSignedMessageSize = 16 * 1024; // bytes

    QString time;     // ISO 8601 UTC with milliseconds, when the answer came
    QString actionId; // empty for trust-window receipts
    QString agent;
    QString tool;
    QString summary;  // what the person saw
    QString decision; // "approved", "denied", trustWindowStarted or trustWindowEnded
    QString scope;    // the rule scope sent with an approval, else empty
    QByteArray signedMessage;
    QString signature; // base64url, as sent in X-Signature
    int status = 0;    // the back-end's HTTP status; 0 when no answer came
    QString outcome; // one of the outcomes above; empty in lines of older versions

    // The outcome an answer with this status means (0: no answer).
    static QString outcomeOf(int status);
    // The outcome, for lines written before it was recorded too.
    QString effectiveOutcome() const { return outcome.isEmpty() ? outcomeOf(status) : outcome; }
    QStringList cut; // as read back: the keys of the fields cut to fit ("action_id", "signed_message"...)

    // incomplete: a field the check needs was cut, so it cannot be checked.
    enum class Verification { verified, signatureInvalid, contentMismatch, incomplete };

    // Takes the signed message and signature that `request` carries.
    void takeSignature(const SignedRequest& request);

    // One line of compact JSON, without the line break; every field cut to its
    // limit, and the cut ones named in "cut".
    QByteArray toJsonLine() const;
    // The receipt of one line (without its line break); nothing for anything
    // that is not a complete receipt object.
    static std::optional<Receipt> fromJsonLine(QByteArrayView line);

    // Checks the signature against the machine's raw 32-byte public key, and,
    // for a decision, that the signed body decides this receipt's action the
    // way the receipt says.
    Verification verify(const QByteArray& publicKey) const;

    // This machine's raw public key, from the public-key file beside
    // machine.json; nothing when it is missing or not a key.
    static std::optional<QByteArray> machinePublicKey();

    friend bool operator==(const Receipt&, const Receipt&) = default;
};
