// The built-in demo device's panel (a small greenhouse controller): panels/demo.json and the
// picture it names, compiled into the program so `talvex --demo` needs no files.
#pragma once

#include "PanelFile.h"

PanelFileResult LoadDemoPanel();
