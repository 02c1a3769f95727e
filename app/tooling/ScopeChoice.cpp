#include "app/tooling/ScopeChoice.h"

#include <QCoreApplication>

namespace ScopeChoices {

QString label(ScopeChoice scope)
{
    return scope == ScopeChoice::allProjects ? QCoreApplication::translate("ScopeChoice", "All projects")
                                             : QCoreApplication::translate("ScopeChoice", "Per-project");
}

QString subLabel(ScopeChoice scope)
{
    return scope == ScopeChoice::allProjects
        ? QCoreApplication::translate("ScopeChoice", "(single global policy)")
        : QCoreApplication::translate("ScopeChoice", "(separate agent per folder)");
}

} // namespace ScopeChoices
