#include "UpdateLog.h"

#include "CoreConstants.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace UpdateLog {

QString line(const QString& message)
{
    QString escaped;
    escaped.reserve(message.size());
    for (const QChar c : message) {
        if (c == u'\n')
            escaped += QLatin1String("\\n");
        else if (c == u'\r')
            escaped += QLatin1String("\\r");
        else if (c.category() == QChar::Other_Control)
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            escaped += c;
    }
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + u' ' + escaped + u'\n';
}

void append(const QString& message)
{
    QDir().mkpath(CoreConstants::quorvaneDirectory());
    QFile file(CoreConstants::updateCheckLogPath());
    // Append creates the file when it is not there yet; failures are ignored.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(line(message).toUtf8());
}

} // namespace UpdateLog
