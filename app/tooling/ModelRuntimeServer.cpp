#include "app/tooling/ModelRuntimeServer.h"

#include "core/LifetimeGuard.h"
#include "app/tooling/CLIProcess.h"
#include "app/tooling/ProgramRun.h"
#include "core/Http.h"
#include "core/LogCategories.h"
#include "platform/LoopbackListeners.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QProcessEnvironment>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <qcorosignal.h>
#include <qcorotimer.h>

#include <algorithm>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds probeDeadline = 2s;
constexpr std::chrono::milliseconds probeInterval = 250ms;
constexpr qint64 probeBodyLimit = 64 * 1024;

// Runs program to its end, terminated after the deadline; its exit status, or
// -1 when it could not start, was killed or ran out of time.
QCoro::Task<int> exitStatusOf(QString program, QStringList arguments, std::chrono::milliseconds deadline)
{
    QCoro::Task<ProgramRun::Result> running = ProgramRun::run(program, arguments, deadline);
    const ProgramRun::Result result = co_await std::move(running);
    co_return result.status;
}

// A word of a unit file's ExecStart=, quoted for systemd.
QString unitWord(QString word)
{
    word.replace(u'\\', QStringLiteral("\\\\"));
    word.replace(u'"', QStringLiteral("\\\""));
    word.replace(u'%', QStringLiteral("%%"));
    return u'"' + word + u'"';
}

QString defaultUnitDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/systemd/user");
}

} // namespace

ModelRuntimeServer::ModelRuntimeServer(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_systemctl(QStandardPaths::findExecutable(QStringLiteral("systemctl")))
    , m_unitDirectory(defaultUnitDirectory())
{
}

ModelRuntimeServer::~ModelRuntimeServer() = default;

QString ModelRuntimeServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

std::optional<QString> ModelRuntimeServer::foreignListener() const
{
    // Whatever answers there gets the person's prompts: only a server of the
    // person's own account is taken as the runtime.
    const QList<uid_t> owners = LoopbackListeners::ownersOf(m_port);
    const uid_t self = ::getuid();
    if (!owners.isEmpty() && std::all_of(owners.begin(), owners.end(), [self](uid_t owner) { return owner == self; }))
        return std::nullopt;
    const QString message = owners.isEmpty()
        ? QStringLiteral("A program answers on %1 but its owner cannot be found; the local model runtime was not used")
        : QStringLiteral("Another user's program answers on %1; the local model runtime was not used");
    qCWarning(lcTooling).noquote() << QStringLiteral("Quorvane: ") + message.arg(hostAndPort());
    return message.arg(hostAndPort());
}

QString ModelRuntimeServer::unitPath() const
{
    return m_unitDirectory + u'/' + unitName;
}

QString ModelRuntimeServer::unitText(const QString& runtimeCommand) const
{
    return QStringLiteral("[Unit]\n"
                          "Description=Local model runtime for Quorvane\n"
                          "\n"
                          "[Service]\n"
                          "ExecStart=%1 serve\n"
                          "Environment=OLLAMA_HOST=%2\n"
                          "Restart=on-failure\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=default.target\n")
        .arg(unitWord(runtimeCommand), hostAndPort());
}

QCoro::Task<bool> ModelRuntimeServer::answers()
{
    if (!m_network)
        co_return false;
    QNetworkRequest request(QUrl(QStringLiteral("http://") + hostAndPort() + u'/'));
    const HttpResponse response = co_await Http::send(*m_network, request, QByteArrayLiteral("GET"), {},
        Http::Limits { probeBodyLimit, int(probeDeadline.count()) });
    co_return response.isHttp();
}

QCoro::Task<CLIResult<void>> ModelRuntimeServer::ensureServing(QString runtimeCommand)
{
    const LifetimeGuard guard(this);
    if (co_await answers()) {
        if (!guard.alive())
            co_return CLIError::cancelled();
        if (const std::optional<QString> foreign = foreignListener())
            co_return CLIError::installFailed(*foreign);
        if (m_mechanism == Mechanism::none)
            m_mechanism = Mechanism::alreadyAnswering;
        co_return CLIResult<void>();
    }
    if (!guard.alive())
        co_return CLIError::cancelled();

    std::optional<QString> unitFailure = QStringLiteral("no systemd user manager");
    if (co_await hasUserManager()) {
        if (!guard.alive())
            co_return CLIError::cancelled();
        unitFailure = co_await startUserUnit(runtimeCommand);
    }
    if (!guard.alive())
        co_return CLIError::cancelled();
    if (!unitFailure) {
        m_mechanism = Mechanism::userUnit;
    } else {
        qCInfo(lcTooling).noquote()
            << QStringLiteral("Quorvane: model runtime as a child process (%1)").arg(*unitFailure);
        if (const std::optional<QString> childFailure = startChild(runtimeCommand))
            co_return CLIError::installFailed(tr("Ollama server could not start: %1").arg(*childFailure));
        m_mechanism = Mechanism::childProcess;
    }
    co_return co_await waitUntilAnswering();
}

QCoro::Task<bool> ModelRuntimeServer::hasUserManager()
{
    if (m_systemctl.isEmpty())
        co_return false;
    // Exit 0: a user manager runs for this session and takes requests.
    const QStringList arguments { QStringLiteral("--user"), QStringLiteral("show-environment") };
    const int status = co_await exitStatusOf(m_systemctl, arguments, systemctlDeadline);
    co_return status == 0;
}

QCoro::Task<std::optional<QString>> ModelRuntimeServer::startUserUnit(const QString& runtimeCommand)
{
    if (!QDir().mkpath(m_unitDirectory))
        co_return QString(QStringLiteral("cannot create ") + m_unitDirectory);
    QSaveFile unit(unitPath());
    if (!unit.open(QIODevice::WriteOnly) || unit.write(unitText(runtimeCommand).toUtf8()) < 0
        || !unit.commit())
        co_return QString(
            QStringLiteral("cannot write ") + unitPath() + QStringLiteral(": ") + unit.errorString());

    // restart, not start: a unit left running an older runtime path runs the new one.
    const QString user = QStringLiteral("--user");
    const QList<QStringList> steps { { user, QStringLiteral("daemon-reload") },
        { user, QStringLiteral("enable"), unitName }, { user, QStringLiteral("restart"), unitName } };
    const QString systemctl = m_systemctl;
    for (const QStringList& step : steps) {
        const int status = co_await exitStatusOf(systemctl, step, systemctlDeadline);
        if (status != 0)
            co_return QString(QStringLiteral("systemctl ") + step.join(u' ') + QStringLiteral(" failed"));
    }
    co_return std::nullopt;
}

QString ModelRuntimeServer::enabledLinkPath() const
{
    return m_unitDirectory + QStringLiteral("/default.target.wants/") + unitName;
}

QCoro::Task<std::optional<QString>> ModelRuntimeServer::removeUserUnit()
{
    const LifetimeGuard guard(this);
    stopChild();
    const auto present
        = [](const QString& path) { return QFileInfo(path).isSymLink() || QFileInfo::exists(path); };
    const QString unit = unitPath();
    const QString link = enabledLinkPath();
    if (!present(unit) && !present(link))
        co_return std::nullopt;

    // The user manager stops the server and drops the enabled link; where
    // there is none, the files go by hand all the same.
    const QString systemctl = m_systemctl;
    const QString user = QStringLiteral("--user");
    if (!systemctl.isEmpty()) {
        const QStringList disable { user, QStringLiteral("disable"), QStringLiteral("--now"), unitName };
        co_await exitStatusOf(systemctl, disable, systemctlDeadline);
    }
    if (!guard.alive())
        co_return std::nullopt;
    QFile::remove(link);
    QFile::remove(unit);
    if (!systemctl.isEmpty()) {
        const QStringList reload { user, QStringLiteral("daemon-reload") };
        co_await exitStatusOf(systemctl, reload, systemctlDeadline);
    }
    if (present(unit) || present(link))
        co_return tr("Could not remove the local model service at %1").arg(unit);
    co_return tr("Stopped and removed the local model service (%1)").arg(unitName);
}

std::optional<QString> ModelRuntimeServer::startChild(const QString& runtimeCommand)
{
    stopChild();
    m_child = std::make_unique<CLIProcess>(runtimeCommand, QStringList { QStringLiteral("serve") },
        CLIProcess::OutputMode::discard, CLIRunLimits::service());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OLLAMA_HOST"), hostAndPort());
    m_child->setEnvironment(environment);
    m_child->launch();
    if (m_child->isFinished() && m_child->launchFailed())
        return m_child->launchError();
    return std::nullopt;
}

void ModelRuntimeServer::stopChild()
{
    // Destroying the handle ends a process still running.
    m_child.reset();
}

QCoro::Task<CLIResult<void>> ModelRuntimeServer::waitUntilAnswering()
{
    const LifetimeGuard guard(this);
    QElapsedTimer elapsed;
    elapsed.start();
    while (true) {
        const bool answering = co_await answers();
        if (!guard.alive())
            co_return CLIError::cancelled();
        if (answering) {
            // Another user's program may have taken the port before our server did.
            if (const std::optional<QString> foreign = foreignListener()) {
                stopChild();
                co_return CLIError::installFailed(*foreign);
            }
            co_return CLIResult<void>();
        }
        if (m_child && m_child->isFinished()) {
            const QString why = m_child->launchFailed()
                ? m_child->launchError()
                : tr("it ended with status %1").arg(m_child->exitStatus());
            m_child.reset();
            co_return CLIError::installFailed(tr("Ollama server could not start: %1").arg(why));
        }
        if (elapsed.elapsed() >= m_readyDeadline.count()) {
            stopChild();
            const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(m_readyDeadline).count();
            co_return CLIError::installFailed(
                tr("Ollama server did not answer on %1 within %2 s").arg(hostAndPort()).arg(seconds));
        }
        co_await QCoro::sleepFor(probeInterval);
        if (!guard.alive())
            co_return CLIError::cancelled();
    }
}
