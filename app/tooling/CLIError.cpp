#include "app/tooling/CLIError.h"

QString CLIError::description() const
{
    if (m_kind == Kind::nonZeroExit)
        return QStringLiteral("CLI exited with code ") + QString::number(m_status);
    if (m_kind == Kind::timedOut)
        return QStringLiteral("CLI did not finish within %1 seconds").arg(m_status);
    return m_text;
}
