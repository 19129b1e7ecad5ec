#include "wine.h"

#include <stdlib.h>
#include <unistd.h>

const char *const wineLoader = "/usr/lib/wine/wine64";
const char *const wineServer = "/usr/lib/wine/wineserver";

bool MakeWinePrefix(const std::string &prefix, const EnvChanges &env) {
    const char *made = getenv("BOXWALK_WINE_PREFIX");
    if (made && *made && access((std::string(made) + "/system.reg").c_str(), R_OK) == 0) {
        return RunCommand({"/bin/cp", "-a", std::string(made) + "/.", prefix}, {}, 240) == 0;
    }
    return RunCommand({wineLoader, "wineboot", "-i"}, env, 240) == 0;
}
