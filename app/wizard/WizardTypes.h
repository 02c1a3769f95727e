#pragma once

#include "app/wizard/AgentSummaryModel.h"
#include "app/wizard/LogStyle.h"
#include "app/wizard/SetupLogModel.h"
#include "app/wizard/WizardState.h"

#include <QtQml/qqml.h>

// The wizard's models as QML knows them (the models themselves do not depend on QML).
struct WizardStateForeign
{
    Q_GADGET
    QML_FOREIGN(WizardState)
    QML_NAMED_ELEMENT(WizardState)
    QML_UNCREATABLE("made by the application")
};

// The status of an installation step: a value the install screen reads.
struct DependencyStatusForeign
{
    Q_GADGET
    QML_FOREIGN(DependencyStatus)
    QML_VALUE_TYPE(dependencyStatus)
};

struct SetupLogModelForeign
{
    Q_GADGET
    QML_FOREIGN(SetupLogModel)
    QML_NAMED_ELEMENT(SetupLogModel)
    QML_UNCREATABLE("owned by the wizard state")
};

struct AgentSummaryModelForeign
{
    Q_GADGET
    QML_FOREIGN(AgentSummaryModel)
    QML_NAMED_ELEMENT(AgentSummaryModel)
    QML_UNCREATABLE("owned by the wizard state")
};

// LogStyles.LogStyle.done, .active, .pending and .sectionHeader.
struct LogStyleForeign
{
    Q_GADGET
    QML_FOREIGN(LogStyles)
    QML_NAMED_ELEMENT(LogStyles)
    QML_UNCREATABLE("an enumeration")
};
