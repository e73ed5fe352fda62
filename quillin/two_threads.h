// Running two pieces of work at once: one on a thread of its own, one on the calling thread.
#pragma once

#include <cstdint>
#include <exception>
#include <thread>

namespace quillin {

// Runs `second` on a new thread and `first` here, and waits for both. Returns false, having run
// neither, when no thread can be started.
template <typename First, typename Second>
bool runTogether(First first, Second second) {
    std::thread thread;
    try {
        thread = std::thread(second);
    } catch (const std::exception&) {
        return false;
    }
    first();
    thread.join();
    return true;
}

// The half [first, end) of `count` items that share 0 or 1 takes.
struct ShareRange {
    uint32_t first;
    uint32_t end;
};

inline ShareRange shareOf(uint32_t count, int share) {
    return share == 0 ? ShareRange{0, count / 2} : ShareRange{count / 2, count};
}

// Runs share(0) and share(1): on two threads when `work` reaches `parallelFrom` and a thread can
// be had, else one after the other here. Shares that touch disjoint data give the same result
// either way.
template <typename Share>
void runShares(uint64_t work, uint64_t parallelFrom, Share share) {
    if (work < parallelFrom || !runTogether([&] { share(0); }, [&] { share(1); })) {
        share(0);
        share(1);
    }
}

} // namespace quillin
