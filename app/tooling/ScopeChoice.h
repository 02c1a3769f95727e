#pragma once

#include <QString>

// How a detected tool is governed: one agent for every project, or one agent
// per selected project folder.
enum class ScopeChoice { allProjects, perProject };

namespace ScopeChoices {

QString label(ScopeChoice scope);
QString subLabel(ScopeChoice scope);

} // namespace ScopeChoices
