#include "platform/PrivilegedRunner.h"

QString PrivilegedRunner::shellWord(const QString& text)
{
    QString quoted = text;
    quoted.replace(u'\'', QLatin1String("'\\''"));
    return u'\'' + quoted + u'\'';
}
