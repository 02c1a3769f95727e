#include "app/views/ViewsLibrary.h"

#include "core/LogCategories.h"
#include "app/views/ViewFactory.h"
#include "platform/MappedFilePages.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace {

bool s_dark = true;
ViewFactory* s_loaded = nullptr;
QSet<QString> s_mappedFiles;

} // namespace

QSet<QString> ViewsLibrary::mappedFiles()
{
    return s_mappedFiles;
}

QString ViewsLibrary::path()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath()
                           + QStringLiteral("/../lib/quorvane/libquorvane-views.so"));
}

ViewFactory* ViewsLibrary::factory()
{
    static ViewFactory* const loaded = [] () -> ViewFactory* {
        // Never unloaded: the QML types and resources it registers live as long as the process.
        const QSet<QString> before = MappedFilePages::loadedLibraries();
        QLibrary library(path());
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        auto entry = reinterpret_cast<ViewFactoryEntry>(library.resolve(viewFactoryEntryName));
        ViewFactory* factory = entry ? entry() : nullptr;
        s_mappedFiles = MappedFilePages::loadedLibraries() - before;
        if (!factory)
            qCWarning(lcViews).noquote()
                << QStringLiteral("Quorvane: the windows cannot be shown: %1").arg(library.errorString());
        else if (!s_dark)
            factory->setDarkAppearance(false);
        s_loaded = factory;
        return factory;
    }();
    return loaded;
}

void ViewsLibrary::setDarkAppearance(bool dark)
{
    s_dark = dark;
    if (s_loaded)
        s_loaded->setDarkAppearance(dark);
}
