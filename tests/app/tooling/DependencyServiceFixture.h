#pragma once

#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "platform/PkexecPrivilegedRunner.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/PackedTree.h"
#include "tests/support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <qcorotask.h>
#include <sys/stat.h>

// The runtime installer end to end: archives served over loopback HTTP, real
// tar, and a stand-in for pkexec that records its arguments and then runs the
// command line without privileges, into a prefix inside the test folder.
struct DependencyServiceFixture
{
    void setUp();
    void tearDown();
    QByteArray makeArchive(bool withCommand, bool withLibraries);
    QString writeScript(const QString& relative, const QByteArray& body);
    // Points the service at the test server and the test prefix, with the
    // digest of `pinnedArchive` pinned.
    void configure(DependencyService& service, const QByteArray& pinnedArchive) const;
    QStringList recordedArguments() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LoopbackHttpServer> m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<PkexecPrivilegedRunner> m_runner;
    std::unique_ptr<CLIService> m_cli;
    QString m_prefix;
};

inline void DependencyServiceFixture::setUp()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<LoopbackHttpServer>();
    QVERIFY(m_server->listen());
    m_network = std::make_unique<QNetworkAccessManager>();
    m_prefix = m_dir->filePath(QStringLiteral("prefix"));
    const QString argv = m_dir->filePath(QStringLiteral("pkexec-argv"));
    const QString pkexec = writeScript(QStringLiteral("pkexec"),
        "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + QFile::encodeName(argv)
            + "'; done\nexec \"$@\"\n");
    m_runner = std::make_unique<PkexecPrivilegedRunner>(pkexec);
    m_cli = std::make_unique<CLIService>(m_runner.get());
}

inline void DependencyServiceFixture::tearDown()
{
    m_cli.reset();
    m_runner.reset();
    m_network.reset();
    m_server.reset();
    m_dir.reset();
}

inline QString DependencyServiceFixture::writeScript(const QString& relative, const QByteArray& body)
{
    const QString path = m_dir->filePath(relative);
    return TestFiles::writeShellScript(path, body) ? path : QString();
}

inline QByteArray DependencyServiceFixture::makeArchive(bool withCommand, bool withLibraries)
{
    const QString staging = m_dir->filePath(QStringLiteral("staging"));
    QDir(staging).removeRecursively();
    QDir().mkpath(staging);
    if (withCommand)
        writeScript(QStringLiteral("staging/bin/ollama"),
            "[ \"$1\" = list ] && printf 'NAME              ID      SIZE\\ngemma4:e4b  abc  9.6 GB\\n'\n");
    if (withLibraries) {
        QDir().mkpath(staging + QStringLiteral("/lib/ollama/cuda"));
        QFile library(staging + QStringLiteral("/lib/ollama/cuda/libggml.so"));
        library.open(QIODevice::WriteOnly);
        library.write("not really a library");
    }
    QDir().mkpath(staging + QStringLiteral("/share"));
    const QString archive = m_dir->filePath(QStringLiteral("archive.tgz"));
    QFile::remove(archive);
    packTree(staging, archive);
    QFile file(archive);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

inline void DependencyServiceFixture::configure(
    DependencyService& service, const QByteArray& pinnedArchive) const
{
    service.setOllamaArchiveSHA256(
        QString::fromLatin1(QCryptographicHash::hash(pinnedArchive, QCryptographicHash::Sha256).toHex()));
    service.setInstallPrefix(m_prefix);
    service.setKnownPaths({ m_prefix + QStringLiteral("/bin") });
    service.setOllamaArchiveURL(m_server->url(QStringLiteral("/download/ollama-linux-amd64.tgz")));
}

inline QStringList DependencyServiceFixture::recordedArguments() const
{
    QFile file(m_dir->filePath(QStringLiteral("pkexec-argv")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    const QList<QByteArray> parts = file.readAll().split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        arguments.append(QString::fromUtf8(parts[i]));
    return arguments;
}
