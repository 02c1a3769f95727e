#include "tests/support/TestHome.h"

#include <QFile>

TestHome::TestHome()
{
    m_hadPrevious = qEnvironmentVariableIsSet("QUORVANE_HOME");
    m_previous = qgetenv("QUORVANE_HOME");
    qputenv("QUORVANE_HOME", QFile::encodeName(m_dir.path()));
}

TestHome::~TestHome()
{
    if (m_hadPrevious)
        qputenv("QUORVANE_HOME", m_previous);
    else
        qunsetenv("QUORVANE_HOME");
}
