#pragma once

#include "app/wizard/WizardState.h"

#include <QtQml/qqml.h>

// The wizard's model as QML knows it (the model itself does not depend on QML).
struct WizardStateForeign
{
    Q_GADGET
    QML_FOREIGN(WizardState)
    QML_NAMED_ELEMENT(WizardState)
    QML_UNCREATABLE("made by the window manager")
};

// The status of an installation step: a value the install screen reads.
struct DependencyStatusForeign
{
    Q_GADGET
    QML_FOREIGN(DependencyStatus)
    QML_VALUE_TYPE(dependencyStatus)
};
