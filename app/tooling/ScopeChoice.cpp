#include "app/tooling/ScopeChoice.h"

namespace ScopeChoices {

QString label(ScopeChoice scope)
{
    return scope == ScopeChoice::allProjects ? QStringLiteral("All projects") : QStringLiteral("Per-project");
}

QString subLabel(ScopeChoice scope)
{
    return scope == ScopeChoice::allProjects ? QStringLiteral("(single global policy)")
                                             : QStringLiteral("(separate agent per folder)");
}

} // namespace ScopeChoices
