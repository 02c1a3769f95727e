#pragma once

#include <QObject>
#include <QtQmlIntegration/qqmlintegration.h>

// How the set-up log shows a line: a step that succeeded, one that runs, one
// that failed or was left for later, or a group title. QML reaches the values
// as LogStyles.LogStyle.done and so on: it finds enumerations only on object
// types, and lower-case values only through the enumeration's name.
class LogStyles : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("an enumeration")
    Q_CLASSINFO("RegisterEnumClassesUnscoped", "false")
public:
    enum class LogStyle { done, active, pending, sectionHeader };
    Q_ENUM(LogStyle)
};

using LogStyle = LogStyles::LogStyle;
