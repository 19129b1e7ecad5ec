#include "clock.h"

#include <chrono>
#include <thread>

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool WaitUntil(const std::function<bool()> &condition, double seconds) {
    const double deadline = Now() + seconds;
    while (!condition()) {
        if (Now() > deadline) {
            return condition();
        }
        SleepSeconds(0.01);
    }
    return true;
}
