// Compares formatFixed24 with the C library's "%8.24f" for every one of the 2^32 float bit
// patterns (or a sub-range), on several threads. Prints the first mismatches and a summary;
// exits with 1 when any pattern differs. Long-running: not part of the unit suite.
//
//   fixed24_exhaustive [threads=2] [first=0] [last=4294967296]

#include "quillout/format_fixed24.h"

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::atomic<uint64_t> mismatches{0};
std::atomic<uint64_t> checked{0};
std::mutex printLock;

void checkRange(uint64_t first, uint64_t last) {
    char expected[128];
    char actual[128];
    uint64_t done = 0;
    for (uint64_t pattern = first; pattern < last; ++pattern) {
        const uint32_t bits = uint32_t(pattern);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        const int length = std::snprintf(expected, sizeof expected, "%8.24f", double(value));
        char* end = quillout::formatFixed24(value, actual);
        if (end - actual != length || std::memcmp(actual, expected, size_t(length)) != 0) {
            if (mismatches.fetch_add(1) < 20) {
                *end = 0;
                std::lock_guard<std::mutex> lock(printLock);
                std::printf("%08" PRIx32 ": got \"%s\", want \"%s\"\n", bits, actual, expected);
            }
        }
        if (++done == (1u << 24)) {
            checked += done;
            done = 0;
        }
    }
    checked += done;
}

} // namespace

int main(int argc, char** argv) {
    const unsigned threads = argc > 1 ? unsigned(std::strtoul(argv[1], nullptr, 10)) : 2;
    const uint64_t first = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 0;
    const uint64_t last = argc > 3 ? std::strtoull(argv[3], nullptr, 0) : (uint64_t(1) << 32);
    if (threads == 0 || first >= last || last > (uint64_t(1) << 32)) {
        std::fputs("Usage: fixed24_exhaustive [threads] [first] [last]\n", stderr);
        return 2;
    }
    // Interleave the range in blocks so every thread sees every exponent (the cost of
    // snprintf grows with the exponent).
    constexpr uint64_t kBlock = uint64_t(1) << 20;
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([=] {
            for (uint64_t start = first + t * kBlock; start < last; start += threads * kBlock)
                checkRange(start, start + kBlock < last ? start + kBlock : last);
        });
    std::thread progress([&] {
        const uint64_t total = last - first;
        for (unsigned seconds = 1; checked.load() < total; ++seconds) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            if (seconds % 60 == 0)
                std::fprintf(stderr, "%" PRIu64 " of %" PRIu64 " checked, %" PRIu64 " mismatches\n",
                             checked.load(), total, mismatches.load());
        }
    });
    for (std::thread& worker : workers)
        worker.join();
    progress.join();
    std::printf("checked %" PRIu64 " patterns [%#" PRIx64 ", %#" PRIx64 "), %" PRIu64
                " mismatches\n",
                checked.load(), first, last, mismatches.load());
    return mismatches.load() == 0 ? 0 : 1;
}
