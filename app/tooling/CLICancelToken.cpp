#include "app/tooling/CLICancelToken.h"

#include <QPointer>

void CLICancelToken::cancel() const
{
    if (m_state->cancelled)
        return;
    m_state->cancelled = true;
    Q_EMIT m_state->cancelRequested();
}

void CLICancelToken::whenCancelled(QObject* context, std::function<void()> callback) const
{
    if (m_state->cancelled) {
        callback();
        return;
    }
    QObject::connect(m_state.get(), &CLICancelState::cancelRequested, context, std::move(callback),
                     Qt::SingleShotConnection);
}
