#include "app/translations/Translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace Translations {

void install(QCoreApplication& application)
{
    auto* translator = new QTranslator(&application);
    if (translator->load(
            QLocale(), QStringLiteral("quorvane"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace Translations
