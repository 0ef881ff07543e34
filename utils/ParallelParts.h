// Work on a range of items split over the machine's cores, each part on a thread of its own.
#pragma once

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

// Threads beyond this gain nothing on the memory-bound walks this serves.
inline constexpr int MAX_PARALLEL_PARTS = 8;

// How many parts nItems items are worth splitting into when each part should have at least
// nMinPerPart of them: 1 up to the number of cores.
inline int PartsFor(long long nItems, long long nMinPerPart) {
    const int nCores = std::max(1, int(std::thread::hardware_concurrency()));
    const long long nByItems = nMinPerPart > 0 ? nItems / nMinPerPart : 1;
    return int(std::clamp<long long>(nByItems, 1, std::min(nCores, MAX_PARALLEL_PARTS)));
}

// Calls fn(nPart, nFirst, nEnd) for nParts consecutive parts of 0 .. nCount - 1 whose sizes
// differ by one at most: part 0 on the calling thread, every other on a thread of its own.
// Returns when all have ended; the first exception a part threw is then thrown again. The
// parts share only what they read: each writes its own results, which the caller takes once
// this returns. Whatever lock keeps the data still is held by the caller throughout.
template <class F> void RunInParts(long long nCount, int nParts, F&& fn) {
    nParts = int(std::clamp<long long>(nParts, 1, std::max<long long>(1, nCount)));
    const auto first = [&](int nPart) { return nCount * nPart / nParts; };
    std::vector<std::exception_ptr> errors(static_cast<size_t>(nParts));
    const auto run = [&](int nPart) {
        try {
            fn(nPart, first(nPart), first(nPart + 1));
        } catch (...) {
            errors[size_t(nPart)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    try {
        for (int nPart = 1; nPart < nParts; ++nPart)
            threads.emplace_back(run, nPart);
    } catch (...) {
        // No thread to be had: the parts that did not get one run here.
        for (int nPart = int(threads.size()) + 1; nPart < nParts; ++nPart)
            run(nPart);
    }
    run(0);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& p : errors) {
        if (p)
            std::rethrow_exception(p);
    }
}
