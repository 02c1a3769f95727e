#pragma once

class QCoreApplication;

namespace Translations {

// Installs the program's catalogue for the person's languages (LANGUAGE, then
// the locale), the first of them the program has one for; English, the
// source language, needs none. The catalogues are built into the program.
void install(QCoreApplication& application);

} // namespace Translations
