// Wine, for the suites that run the Windows build: one session of Wine processes in a prefix of
// the suite's own, and what the suites do about Wine's own defects (see docs/testing.md, "Wine").
#pragma once

#include "process.h"

#include <string>
#include <vector>

extern const char *const wineLoader; // runs a Windows program

class WineSession {
  public:
    // What the machine lacks to run `exe` under Wine, in one line that says how to get it; empty
    // when nothing.
    static std::string Missing(const std::string &exe);

    // Makes the prefix, a copy of the one made once for every suite (BOXWALK_WINE_PREFIX) or, where
    // there is none, a fresh one; false when it cannot.
    bool Begin();
    // Ends the session and removes its prefix.
    void Remove();
    // Ends every Wine process of the prefix, its server last; false when they still run after
    // `seconds`.
    bool End(double seconds = patience) const;
    // Waits for every Wine process of the prefix to end by itself; false when they still run
    // after `seconds`.
    bool Ended(double seconds = patience) const;
    // What the Windows program runs with: the prefix, Wine quiet but for its errors about the
    // displays (which name its own faults), no Mono or Gecko installer prompts.
    EnvChanges Environment() const;

    // Whether Wine's desktop process has recorded the display's mode, the one that the program's
    // restore returns to; a switch before that is never undone.
    bool DesktopRecordedTheMode() const;
    // Whether Wine tells the program of a resize that another X client makes to its window where
    // no window manager runs, as Windows does of another program's: Wine 8 does, Wine 10 leaves
    // the program's window at its size.
    static bool FollowsOtherClientsResizes();

    // Whether Wine says in `errors` that it read its record of the display half rebuilt (so the
    // display stays switched); notes `test` to run again, unless this is already the run again.
    bool SpoiledRun(const std::string &errors, const std::string &test);
    bool Spoiled(const std::string &test) const;
    // After a suite's run that ended with `status`: the status of running the suite (`arguments`,
    // as it was started) again for the spoiled tests alone, or `status` when there are none.
    int RunSpoiledAgain(const std::vector<std::string> &arguments, int status) const;

  private:
    std::string prefix;
    std::vector<std::string> spoiled;
};
