#pragma once

#include "app/tooling/DiscoveredProject.h"
#include "app/tooling/ScopeChoice.h"

#include <QList>
#include <QString>
#include <QUuid>

// One AI tool the product tool found on this machine, with the person's
// choices for it on the configure screen.
struct DetectedTool
{
    QUuid id = QUuid::createUuid();
    QString name;     // display name
    QString subtitle; // descriptor id, handed to the product tool as the agent type
    bool enabled = true;
    ScopeChoice scope = ScopeChoice::allProjects;
    bool expanded = false;
    QList<DiscoveredProject> projects;
    QString projectsRoot; // allow-listed for the all-projects agent; "" for none
    bool projectsRootEnabled = false;

    bool operator==(const DetectedTool& other) const = default;
};
