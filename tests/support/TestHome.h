#pragma once

#include "tests/support/TestFiles.h"

#include <QTemporaryDir>

// A throw-away home folder that the program under test uses instead of the
// account's one (the QUORVANE_HOME dev override), restored when it goes away.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& relative) const { return m_dir.filePath(relative); }
    // Writes a file (creating its folders) with the given permissions.
    bool write(const QString& relative, const QByteArray& content, int mode = 0600) const
    {
        return TestFiles::write(filePath(relative), content, mode);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};
