#include "tools/updater/Updater.h"

#include "core/InstallationSwap.h"
#include "core/ReleaseArchive.h"
#include "core/ReleaseSignature.h"
#include "core/UpdateLog.h"
#include "core/VersionComparison.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <utility>

namespace {

constexpr char appExecutable[] = "/bin/quorvane-app";

bool processExists(qint64 pid) { return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM); }

} // namespace

Updater::Updater(Options options) : m_options(std::move(options)) {}

void Updater::log(const QString& message) const { UpdateLog::appendTo(m_options.logPath, QStringLiteral("updater: ") + message); }

void Updater::stopPoint(const char* step) const
{
#ifdef QUORVANE_DEV_OVERRIDES
    if (qgetenv("QUORVANE_UPDATER_STOP_AT") == step) {
        log(QStringLiteral("stopping dead after ") + QLatin1String(step));
        ::raise(SIGKILL);
    }
    if (qgetenv("QUORVANE_UPDATER_PAUSE_AT") == step) {
        log(QStringLiteral("pausing after ") + QLatin1String(step));
        ::raise(SIGSTOP);
    }
#else
    Q_UNUSED(step);
#endif
}

int Updater::run()
{
    log(QStringLiteral("started for version ") + m_options.version + QStringLiteral(" into ") + m_options.prefix);
    for (const QString& action : InstallationSwap::repair(m_options.prefix))
        log(action);
    if (!waitForExit()) {
        // The old program still runs: it stays the one in charge.
        log(QStringLiteral("REFUSED: the program did not quit within %1 s").arg(waitSeconds));
        InstallationSwap::removeTree(m_options.workDirectory);
        return 1;
    }
    const std::optional<QString> refusal = install();
    if (refusal) {
        log(QStringLiteral("REFUSED: ") + *refusal);
        InstallationSwap::removeTree(InstallationSwap::stagingPath(m_options.prefix));
    }
    InstallationSwap::removeTree(m_options.workDirectory);
    launchProgram();
    return refusal ? 1 : 0;
}

bool Updater::waitForExit() const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    while (processExists(m_options.waitPid)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QThread::msleep(100);
    }
    log(QStringLiteral("the program has quit"));
    return true;
}

std::optional<QString> Updater::verifySignature(int archiveFd) const
{
    struct stat info = {};
    if (::fstat(archiveFd, &info) != 0 || info.st_size <= 0)
        return QStringLiteral("cannot read the archive ") + m_options.archivePath;
    void* mapped = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, archiveFd, 0);
    if (mapped == MAP_FAILED)
        return QStringLiteral("cannot read the archive ") + m_options.archivePath;
    const bool valid = ReleaseSignature::verifyText(m_options.publicKey,
        QByteArrayView(static_cast<const char*>(mapped), qsizetype(info.st_size)), m_options.signature);
    ::munmap(mapped, size_t(info.st_size));
    if (!valid)
        return QStringLiteral("the publisher signature is invalid");
    return std::nullopt;
}

std::optional<QString> Updater::install()
{
    const std::pair<const char*, const QString*> required[] = {
        {"archive", &m_options.archivePath},     {"signature", &m_options.signature},
        {"public-key", &m_options.publicKey},    {"version", &m_options.version},
        {"installed-version", &m_options.installedVersion}, {"work-dir", &m_options.workDirectory}};
    for (const auto& [name, value] : required) {
        if (value->isEmpty())
            return QStringLiteral("missing --") + QLatin1String(name);
    }

    // One open file for the check and everything after it: whatever is put
    // at the path once the signature is verified is never read.
    QString openError;
    const FileDescriptor archive = ReleaseArchive::openArchive(m_options.archivePath, openError);
    if (!archive.isValid())
        return openError;
    if (const std::optional<QString> refused = verifySignature(archive.get()))
        return refused;
    log(QStringLiteral("publisher signature verified"));
    stopPoint("verified");

    const ReleaseArchive::Result version = ReleaseArchive::readVersion(archive.get());
    if (!version.value)
        return version.error;
    if (*version.value != m_options.version)
        return QStringLiteral("the archive holds version %1, not the announced %2").arg(*version.value, m_options.version);
    if (!VersionComparison::isNewer(*version.value, m_options.installedVersion))
        return QStringLiteral("the archive's version %1 is not newer than the installed %2")
            .arg(*version.value, m_options.installedVersion);
    log(QStringLiteral("archive version ") + *version.value);

    const QString staging = InstallationSwap::stagingPath(m_options.prefix);
    InstallationSwap::removeTree(staging);
    if (::mkdir(QFile::encodeName(staging).constData(), 0700) != 0)
        return QStringLiteral("cannot create ") + staging + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    stopPoint("staging");
    const ReleaseArchive::Result unpacked = ReleaseArchive::unpack(archive.get(), staging);
    if (!unpacked.value)
        return unpacked.error;
    if (!InstallationSwap::isWorkingInstallation(staging))
        return QStringLiteral("the archive holds no executable bin/quorvane-app");
    struct stat prefixInfo{};
    const mode_t mode = ::stat(QFile::encodeName(m_options.prefix).constData(), &prefixInfo) == 0
                            ? prefixInfo.st_mode & 0777
                            : 0755;
    ::chmod(QFile::encodeName(staging).constData(), mode);
    log(QStringLiteral("unpacked into ") + staging);
    stopPoint("unpacked");

    if (const std::optional<QString> error = InstallationSwap::exchange(m_options.prefix))
        return error;
    log(QStringLiteral("swapped in version ") + *version.value);
    stopPoint("swapped");
    if (const std::optional<QString> error = InstallationSwap::retire(m_options.prefix)) {
        log(*error); // the new version is in place; the next start clears the rest
        return std::nullopt;
    }
    stopPoint("retired");
    InstallationSwap::removeTree(InstallationSwap::previousPath(m_options.prefix));
    log(QStringLiteral("removed the previous installation"));
    return std::nullopt;
}

void Updater::launchProgram()
{
    const QString program = m_options.prefix + QLatin1String(appExecutable);
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(QStringLiteral("/"));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (process.startDetached())
        log(QStringLiteral("started ") + program);
    else
        log(QStringLiteral("cannot start ") + program + QStringLiteral(": ") + process.errorString());
}
