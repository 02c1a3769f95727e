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
};
