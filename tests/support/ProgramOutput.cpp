#include "tests/support/ProgramOutput.h"

#include <QProcess>

QString programOutput(const QString& program, const QStringList& arguments, int deadlineMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(deadlineMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
