#pragma once

#include "app/tooling/CLIError.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <qcorotask.h>

class CLIProcess;
class QNetworkAccessManager;

// Keeps the model runtime's server ("ollama serve") running for the person, so
// that the runtime's own commands ("ollama list") and the model download can
// reach it on its loopback port. Where the session has a systemd user manager
// the server becomes the person's own user unit (started now and at every
// log-in); otherwise it is a child of the companion, stopped when the companion
// ends (or this object goes away).
class ModelRuntimeServer : public QObject
{
    Q_OBJECT
public:
    enum class Mechanism {
        none, // not started by us (yet)
        alreadyAnswering, // something already served on the port
        userUnit, // the systemd user unit
        childProcess, // our own child
    };
    Q_ENUM(Mechanism)

    static constexpr quint16 defaultPort = 11434;
    static constexpr std::chrono::milliseconds defaultReadyDeadline { 30'000 };
    static constexpr std::chrono::milliseconds systemctlDeadline { 15'000 };
    static inline const QString unitName = QStringLiteral("quorvane-ollama.service");

    explicit ModelRuntimeServer(QNetworkAccessManager* network, QObject* parent = nullptr);
    ~ModelRuntimeServer() override;

    // The loopback port the runtime serves on (its default unless replaced).
    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }
    // How long a started server may take to answer.
    void setReadyDeadline(std::chrono::milliseconds deadline) { m_readyDeadline = deadline; }
    // The systemctl program; empty means there is no systemd (the default is
    // "systemctl" from PATH, when there is one).
    void setSystemctl(const QString& program) { m_systemctl = program; }
    // Where the user unit is written: $XDG_CONFIG_HOME/systemd/user by default.
    void setUnitDirectory(const QString& directory) { m_unitDirectory = directory; }
    QString unitPath() const;

    // Whether an HTTP server answers on the port now (one request, 2 s at most).
    QCoro::Task<bool> answers();

    // Makes the server of runtimeCommand answer on the port: nothing to do when
    // it already answers from a socket of this user (another user's server
    // there is refused); otherwise the user unit or a child process, then a
    // wait until it answers. Fails with a message the install screen shows.
    QCoro::Task<CLIResult<void>> ensureServing(QString runtimeCommand);
    Mechanism mechanism() const { return m_mechanism; }

    // Stops the child process, if this object started one.
    void stopChild();

    // Uninstall: stops the server, disables and deletes the user unit and its
    // enabled link (by hand where no user manager answers), stops our child.
    // The report line, or nothing when there was no unit.
    QCoro::Task<std::optional<QString>> removeUserUnit();
    // The link "systemctl --user enable" makes for the unit.
    QString enabledLinkPath() const;

    // The unit file's text for runtimeCommand.
    QString unitText(const QString& runtimeCommand) const;

private:
    QString hostAndPort() const;
    // Why the port's listener is not taken as ours, or nothing when it is.
    std::optional<QString> foreignListener() const;
    QCoro::Task<bool> hasUserManager();
    QCoro::Task<std::optional<QString>> startUserUnit(const QString& runtimeCommand);
    std::optional<QString> startChild(const QString& runtimeCommand);
    QCoro::Task<CLIResult<void>> waitUntilAnswering();

    QPointer<QNetworkAccessManager> m_network;
    quint16 m_port = defaultPort;
    std::chrono::milliseconds m_readyDeadline = defaultReadyDeadline;
    QString m_systemctl;
    QString m_unitDirectory;
    Mechanism m_mechanism = Mechanism::none;
    std::unique_ptr<CLIProcess> m_child;
};
