#pragma once

#include <QObject>

#include <utility>

// The body of a property setter: stores `value` in `member` and emits
// `changed` on `object`, only when the value differs. True when it did.
//     void Banner::setText(const QString& text)
//     {
//         assignAndNotify(m_text, text, this, &Banner::textChanged);
//     }
template<typename Member, typename Value, typename Object, typename Signal>
bool assignAndNotify(Member& member, Value&& value, Object* object, Signal changed)
{
    if (member == value)
        return false;
    member = std::forward<Value>(value);
    Q_EMIT(object->*changed)();
    return true;
}
