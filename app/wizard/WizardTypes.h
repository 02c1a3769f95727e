#pragma once

#include "app/wizard/AccountSignIn.h"
#include "app/wizard/ActivityAnalysis.h"
#include "app/wizard/AgentConfiguration.h"
#include "app/wizard/AgentSummaryModel.h"
#include "app/wizard/InstallPhase.h"
#include "app/wizard/LogStyle.h"
#include "app/wizard/ModelDownload.h"
#include "app/wizard/SetupLogModel.h"
#include "app/wizard/SetupRun.h"
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

// The models of the wizard's steps.
struct AccountSignInForeign
{
    Q_GADGET
    QML_FOREIGN(AccountSignIn)
    QML_NAMED_ELEMENT(AccountSignIn)
    QML_UNCREATABLE("owned by the wizard state")
};

struct InstallPhaseForeign
{
    Q_GADGET
    QML_FOREIGN(InstallPhase)
    QML_NAMED_ELEMENT(InstallPhase)
    QML_UNCREATABLE("owned by the wizard state")
};

struct ModelDownloadForeign
{
    Q_GADGET
    QML_FOREIGN(ModelDownload)
    QML_NAMED_ELEMENT(ModelDownload)
    QML_UNCREATABLE("owned by the install phase")
};

struct AgentConfigurationForeign
{
    Q_GADGET
    QML_FOREIGN(AgentConfiguration)
    QML_NAMED_ELEMENT(AgentConfiguration)
    QML_UNCREATABLE("owned by the wizard state")
};

struct SetupRunForeign
{
    Q_GADGET
    QML_FOREIGN(SetupRun)
    QML_NAMED_ELEMENT(SetupRun)
    QML_UNCREATABLE("owned by the wizard state")
};

struct ActivityAnalysisForeign
{
    Q_GADGET
    QML_FOREIGN(ActivityAnalysis)
    QML_NAMED_ELEMENT(ActivityAnalysis)
    QML_UNCREATABLE("owned by the wizard state")
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
