#pragma once

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
    static QString path();
    // Gives back what the views held once none is shown: the free heap, and
    // the resident pages of the libraries that came with the views (Qt Quick,
    // QML, our views), which fault back in when a view is next made.
    static void releaseMemory();
};
