#include "utils/AutoLock.h"

#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Tells the processor this is a wait, so the other thread on the core is not held up.
inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

} // namespace

// The clock is read once every few tries only: a try is far cheaper than a reading.
void CMutex::SpinThenLock() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::nanoseconds(SPIN_NS);
    do {
        for (int i = 0; i < 32; ++i) {
            CpuRelax();
            if (m_mutex.try_lock())
                return;
        }
    } while (Clock::now() < end);
    m_mutex.lock();
}
