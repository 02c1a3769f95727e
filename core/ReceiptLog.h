#pragma once

#include "core/Receipt.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

struct SignedRequest;

// The local log of decision receipts: one JSON object per line in a private
// file (0600 from creation). Each receipt is one write() of a whole line, so a
// crash leaves at worst a torn last line: reading skips it, and the next
// append starts on a line of its own, so earlier lines are never harmed.
//
// Every append is followed by fdatasync(): a receipt records a decision the
// back-end may have acted on, so losing it to a power cut would defeat its
// purpose, and decisions come at the pace of a person (a freeze of many
// actions costs a few milliseconds each).
//
// When an append would take the file past the size limit, the file becomes
// "<path>.1" (the older ones move up one number) and the oldest beyond the
// kept count is dropped.
class ReceiptLog : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 defaultMaximumFileSize = 1024 * 1024;
    static constexpr int defaultKeptFiles = 5;
    // The receipts that could not be written, kept in memory (the newest this many).
    static constexpr int keptFailures = 20;

    // A decision whose receipt could not be written, and why.
    struct Failure
    {
        QString time; // ISO 8601 UTC, when the write failed
        QString decision;
        QString actionId; // cut to Receipt::maximumFieldLength
        QString reason;
    };

    explicit ReceiptLog(QString path, qint64 maximumFileSize = defaultMaximumFileSize,
                        int keptFiles = defaultKeptFiles, QObject* parent = nullptr);

    QString path() const { return m_path; }
    // The file of the given age: 0 is the current file, n is "<path>.n".
    QString filePath(int age) const;

    // Appends one receipt; an error text when it could not be written whole.
    std::optional<QString> append(const Receipt& receipt);

    // Completes a receipt with the time now, the request's signed message and
    // signature, the back-end's status and what it means (a decision without
    // an answer is "not_confirmed"), and appends it. A failure is logged,
    // kept in failures() and announced (failed()), never dropped silently.
    void record(Receipt receipt, const SignedRequest& request, int status);

    // The receipts record() could not write since start, newest first.
    QList<Failure> failures() const { return m_failures; }

    // Every readable receipt, newest first. Lines that are not receipts (a torn
    // last line, a damaged line) are skipped; a file larger than any this log
    // writes is not read.
    QList<Receipt> readAll() const;

Q_SIGNALS:
    void appended(const Receipt& receipt);
    void failed();

private:
    void rotate();

    QString m_path;
    qint64 m_maximumFileSize;
    int m_keptFiles;
    QList<Failure> m_failures;
};
