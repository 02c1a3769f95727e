#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the signals that ask a program to stop (SIGTERM from the session or
// the service manager, SIGINT, SIGHUP when the terminal goes) into a Qt signal
// on the main thread, so the program quits through its event loop and saves
// what it holds instead of being killed mid-write. One per process.
class TerminationSignalNotifier : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignalNotifier(QObject* parent = nullptr);
    ~TerminationSignalNotifier() override;

    // False when the pipe or the handlers could not be set up (the default
    // action, ending the process, then stays in place).
    bool isActive() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void onReadable();

    QSocketNotifier* m_notifier = nullptr;
};
