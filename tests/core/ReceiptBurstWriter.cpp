// A child process for the crash test of the receipts log: appends receipts to
// the log named on the command line as fast as it can until it is killed (or,
// at the latest, after a minute).
#include "core/ReceiptLog.h"

#include <QDeadlineTimer>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: receipt_burst_writer <log path>\n", stderr);
        return 2;
    }
    ReceiptLog log(QString::fromLocal8Bit(argv[1]));
    const QDeadlineTimer deadline(60 * 1000);
    for (int index = 0; !deadline.hasExpired(); ++index) {
        Receipt receipt;
        receipt.time = QStringLiteral("2026-12-06T00:00:00.000Z");
        receipt.actionId = QStringLiteral("burst-%1").arg(index);
        receipt.agent = QStringLiteral("claude-work");
        receipt.tool = QStringLiteral("Bash");
        // Long enough that a write is more than a few bytes.
        receipt.summary = QStringLiteral("rm -rf build/%1 ").arg(index).repeated(20);
        receipt.decision = index % 2 ? QStringLiteral("approved") : QStringLiteral("denied");
        receipt.signedMessage = "machine:1:{}";
        receipt.signature = QStringLiteral("c2lnbmF0dXJl");
        receipt.status = 200;
        if (log.append(receipt))
            return 1;
    }
    return 0;
}
