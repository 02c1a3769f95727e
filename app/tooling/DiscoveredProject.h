#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

// One project folder a detected tool has worked in. A path inside the home
// folder is kept as "~" followed by the rest.
struct DiscoveredProject
{
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id CONSTANT)
    Q_PROPERTY(QString path MEMBER path CONSTANT)
    Q_PROPERTY(QString lastUsed MEMBER lastUsed CONSTANT)
    Q_PROPERTY(bool isActive MEMBER isActive CONSTANT)
    Q_PROPERTY(bool selected MEMBER selected CONSTANT)
public:
    QUuid id = QUuid::createUuid();
    QString path;
    QString lastUsed; // as the scan wrote it
    bool isActive = false;
    bool selected = false; // register a per-project agent for it

    bool operator==(const DiscoveredProject& other) const = default;
};
