#include "platform/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

STimeOfDay PlatformLocalTimeOfDay(int64_t nUnixSeconds) {
    const time_t t = time_t(nUnixSeconds);
    struct tm tmLocal {};
    if (!localtime_r(&t, &tmLocal))
        return {0, 0, 0};
    return {tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec};
}

uint64_t PlatformNowFileTime() {
    using namespace std::chrono;
    const auto n100 =
        duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
    return uint64_t(n100) + 116444736000000000ull;
}

uint32_t PlatformTickCount() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void PlatformSleepMs(unsigned nMilliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(nMilliseconds));
}
