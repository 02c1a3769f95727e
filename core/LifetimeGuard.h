#pragma once

#include <QObject>
#include <QPointer>

// Whether an object still exists after a co_await (or when a callback it
// handed out runs): taken before the first await, asked after each one that
// the object may not outlive.
//     const LifetimeGuard guard(this);
//     const HttpResponse response = co_await Http::send(m_network, request);
//     if (!guard.alive())
//         co_return;
// Copies watch the same object, so a callback may capture one.
template<typename T>
class LifetimeGuard
{
public:
    explicit LifetimeGuard(T* object)
        : m_object(object)
    {
    }

    bool alive() const { return !m_object.isNull(); }
    // The object, or null once it is gone.
    T* get() const { return m_object.data(); }

private:
    QPointer<T> m_object;
};
