#pragma once

#include <QString>

// The XDG base directories of the person running the program: the variable
// when it holds an absolute path (a relative one is invalid and ignored),
// else the default under the account's home folder (CoreConstants).
namespace XdgBaseDirectories {

QString configHome(); // $XDG_CONFIG_HOME or ~/.config
QString dataHome();   // $XDG_DATA_HOME or ~/.local/share

} // namespace XdgBaseDirectories
