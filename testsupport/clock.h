// Time for the tests: a monotonic clock, the one deadline, and the wait for a condition.
#pragma once

#include <functional>

// Seconds on a monotonic clock, for deadlines.
double Now();
void SleepSeconds(double seconds);

// How long a test waits for what it asked of the server, the platform or the program: enough for
// a machine whose cores are all busy, and a bound for a wait that never ends.
const double patience = 30;

// Asks `condition` every hundredth of a second until it holds or `seconds` have passed; its last
// answer.
bool WaitUntil(const std::function<bool()> &condition, double seconds = patience);
