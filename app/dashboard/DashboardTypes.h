#pragma once

#include "app/dashboard/AddAgentState.h"
#include "app/dashboard/AgentListModel.h"
#include "app/dashboard/HomeState.h"
#include "app/dashboard/ModelRuntimeState.h"

#include <QtQml/qqml.h>

// The dashboard's models as QML knows them (the models do not depend on QML).

struct AgentListModelForeign
{
    Q_GADGET
    QML_FOREIGN(AgentListModel)
    QML_NAMED_ELEMENT(AgentListModel)
    QML_UNCREATABLE("owned by the home state")
};

struct HomeStateForeign
{
    Q_GADGET
    QML_FOREIGN(HomeState)
    QML_NAMED_ELEMENT(HomeState)
    QML_UNCREATABLE("made by the application")
};

struct ModelRuntimeStateForeign
{
    Q_GADGET
    QML_FOREIGN(ModelRuntimeState)
    QML_NAMED_ELEMENT(ModelRuntimeState)
    QML_UNCREATABLE("made by the home state")
};

struct AddAgentStateForeign
{
    Q_GADGET
    QML_FOREIGN(AddAgentState)
    QML_NAMED_ELEMENT(AddAgentState)
    QML_UNCREATABLE("made by the home state")
};
