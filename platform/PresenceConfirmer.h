#pragma once

#include "platform/PresenceError.h"

#include <QObject>
#include <QString>

#include <QCoroTask>

#include <memory>
#include <optional>

// Asks the person at the machine to prove presence (their password, or a
// fingerprint where the system offers one). Nothing on success.
class PresenceConfirmer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~PresenceConfirmer() override = default;

    // `reason` is the sentence the prompt shows.
    virtual QCoro::Task<std::optional<PresenceError>> confirm(QString reason) = 0;

    // The confirmer of this process: the system's authority (polkit on the
    // system bus). Builds with development overrides honour QUORVANE_PRESENCE
    // ("grant", "deny" or "cancel") with a stand-in that asks nobody.
    static std::unique_ptr<PresenceConfirmer> createDefault(QObject* parent = nullptr);
};
