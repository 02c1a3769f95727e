#pragma once

#include "app/panel/ActionCountdown.h"
#include "app/panel/ActionDetailState.h"
#include "app/panel/ApprovalsPanel.h"
#include "app/panel/ConnectionStatus.h"
#include "app/panel/FreezeAll.h"
#include "app/panel/PendingActionsModel.h"
#include "app/panel/RuleChoice.h"
#include "app/panel/ShownAction.h"
#include "app/panel/UpdateBannerState.h"

#include <QtQml/qqml.h>

// The panel's models as QML knows them. The models do not depend on QML: the
// program links them without Qt Quick, which comes with the views library.

struct ApprovalsPanelForeign
{
    Q_GADGET
    QML_FOREIGN(ApprovalsPanel)
    QML_NAMED_ELEMENT(ApprovalsPanel)
    QML_UNCREATABLE("constructed by the application")
};

struct PendingActionsModelForeign
{
    Q_GADGET
    QML_FOREIGN(PendingActionsModel)
    QML_NAMED_ELEMENT(PendingActionsModel)
    QML_UNCREATABLE("owned by ApprovalsPanel")
};

struct ActionDetailStateForeign
{
    Q_GADGET
    QML_FOREIGN(ActionDetailState)
    QML_NAMED_ELEMENT(ActionDetailState)
    QML_UNCREATABLE("owned by ApprovalsPanel")
};

struct ShownActionForeign
{
    Q_GADGET
    QML_FOREIGN(ShownAction)
    QML_NAMED_ELEMENT(ShownAction)
    QML_UNCREATABLE("owned by ActionDetailState")
};

struct ActionCountdownForeign
{
    Q_GADGET
    QML_FOREIGN(ActionCountdown)
    QML_NAMED_ELEMENT(ActionCountdown)
    QML_UNCREATABLE("owned by ActionDetailState")
};

struct RuleChoiceForeign
{
    Q_GADGET
    QML_FOREIGN(RuleChoice)
    QML_NAMED_ELEMENT(RuleChoice)
    QML_UNCREATABLE("owned by ActionDetailState")
};

struct UpdateBannerStateForeign
{
    Q_GADGET
    QML_FOREIGN(UpdateBannerState)
    QML_NAMED_ELEMENT(UpdateBannerState)
    QML_UNCREATABLE("owned by ApprovalsPanel")
};

struct FreezeAllForeign
{
    Q_GADGET
    QML_FOREIGN(FreezeAll)
    QML_NAMED_ELEMENT(FreezeAll)
    QML_UNCREATABLE("owned by ApprovalsPanel")
};

struct ConnectionStatusForeign
{
    Q_GADGET
    QML_FOREIGN(ConnectionStatus)
    QML_NAMED_ELEMENT(ConnectionStatus)
    QML_UNCREATABLE("owned by ApprovalsPanel")
};
