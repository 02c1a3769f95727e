#pragma once

#include "app/wizard/LogStyle.h"

#include <QString>
#include <QUuid>

#include <optional>

// One line of the set-up log. Every entry, also one that replaces another, has
// an identity of its own.
struct SetupLogEntry
{
    QUuid id = QUuid::createUuid();
    QString text;
    LogStyle style = LogStyle::pending;
    std::optional<QString> section; // the header text of a sectionHeader entry; none for all others

    bool operator==(const SetupLogEntry& other) const = default;
};
