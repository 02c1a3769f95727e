#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool TestHome::write(const QString& relative, const QByteArray& content, int mode) const
{
    const QString path = filePath(relative);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile::remove(path);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    ::fchmod(fd, mode);
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    ::close(fd);
    return ok;
}
