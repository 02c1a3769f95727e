#pragma once

#include <QObject>

#include <functional>
#include <memory>

class CLICancelState : public QObject
{
    Q_OBJECT
public:
    bool cancelled = false;
Q_SIGNALS:
    void cancelRequested();
};

// Lets a caller cancel a running operation of CLIService (QCoro tasks cannot be
// cancelled themselves). Copies share one state; cancelling any copy cancels
// the operation: its child process is terminated and the awaited call ends with
// CLIError::cancelled(). A token is used on the thread that created it.
class CLICancelToken
{
public:
    CLICancelToken() : m_state(std::make_shared<CLICancelState>()) {}

    void cancel() const;
    bool isCancelled() const { return m_state->cancelled; }

    // Runs callback (while context lives) when cancel() is called; at once if
    // the token is already cancelled.
    void whenCancelled(QObject* context, std::function<void()> callback) const;

private:
    std::shared_ptr<CLICancelState> m_state;
};
