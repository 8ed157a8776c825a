// The help page on COM ports that ships with the program, and showing it in the desktop's browser.
#pragma once

#include <QString>
#include <functional>

// Where the page is: installed beside the program (../share/talvex/help), in the data
// directories, or in the source tree when the program runs from its build tree. When none
// exists, the installed location, for telling the user.
QString ComPortsHelpPath();

// Shows a local file; false when no browser could be started.
using HelpOpener = std::function<bool(const QString& path)>;
bool OpenInBrowser(const QString& path);
