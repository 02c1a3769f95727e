#include "app/tooling/CLIError.h"

#include <QCoreApplication>

QString CLIError::description() const
{
    if (m_kind == Kind::nonZeroExit)
        return QCoreApplication::translate("CLIError", "CLI exited with code %1").arg(m_status);
    if (m_kind == Kind::timedOut)
        return QCoreApplication::translate("CLIError", "CLI did not finish within %1 seconds").arg(m_status);
    return m_text;
}
