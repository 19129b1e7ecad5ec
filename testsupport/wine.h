// Wine, for the suites that run the Windows build: its programs, and the prefix each suite runs
// it in.
#pragma once

#include "process.h"

#include <string>

extern const char *const wineLoader; // runs a Windows program
extern const char *const wineServer; // the server of a prefix's Wine processes

// Makes the Wine prefix `prefix`, an empty folder, for `wine` run with `env`. Under ctest, a
// prefix made once for every suite names itself in BOXWALK_WINE_PREFIX, and `prefix` becomes a
// copy of it: the same files that wineboot would make, in a second instead of a quarter of a
// minute. Without it, wineboot makes the prefix. True once the prefix is ready.
bool MakeWinePrefix(const std::string &prefix, const EnvChanges &env);
