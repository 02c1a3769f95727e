#include "tests/support/FloodPeerProcess.h"

#include <QDir>

FloodPeerProcess::FloodPeerProcess(const QString& mode)
{
    const QString program
        = QDir(qEnvironmentVariable("QUORVANE_BUILD_DIR")).filePath(QStringLiteral("bin/flood_peer"));
    m_process.start(program, { mode });
    if (m_process.waitForStarted(10 * 1000) && m_process.waitForReadyRead(10 * 1000))
        m_port = m_process.readLine().trimmed().toInt();
}

FloodPeerProcess::~FloodPeerProcess()
{
    // Its standard input closing is its signal to stop.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5 * 1000))
        m_process.kill();
    m_process.waitForFinished(5 * 1000);
}
