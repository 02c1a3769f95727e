#pragma once

#include <QSet>
#include <QString>

class ViewFactory;

// Finds and loads libquorvane-views.so once per process: from lib/quorvane
// beside the program's bin folder, in the build tree as in an installation.
class ViewsLibrary
{
public:
    // The views, or nullptr when the library is missing or broken; the reason
    // is logged once. The tray keeps working without windows.
    static ViewFactory* factory();
    // Dark (the default) or light windows; remembered until the library is loaded.
    static void setDarkAppearance(bool dark);
    static QString path();
    // The libraries that loading the views brought (Qt Quick, QML, our
    // views): empty until then.
    static QSet<QString> mappedFiles();
};
