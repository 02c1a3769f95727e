#pragma once

#include "app/trust/TrustWindowState.h"

#include <QtQml/qqml.h>

// The trust window model as QML knows it (the model itself does not depend on QML).
struct TrustWindowStateForeign
{
    Q_GADGET
    QML_FOREIGN(TrustWindowState)
    QML_NAMED_ELEMENT(TrustWindowState)
    QML_UNCREATABLE("Created with the approvals panel")
};
