// Running two pieces of work at once: one on a thread of its own, one on the calling thread.
#pragma once

#include <exception>
#include <thread>

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
