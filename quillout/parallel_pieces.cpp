#include "quillout/parallel_pieces.h"

#include "quillout/obj_text.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace quillout {
namespace {

// Four slots let the writer work on one piece while the formatters fill the others.
constexpr unsigned kSlotCount = 4;

struct Slot {
    char* data;
    char* end;
    bool ready;
};

struct Pipeline {
    const Mesh& mesh;
    size_t records; // per piece
    Slot slots[kSlotCount];
    std::mutex lock;
    std::condition_variable changed;
    ObjCursor next{};     // start of the first piece not handed out
    uint64_t claimed = 0; // pieces handed out
    uint64_t written = 0; // pieces written
    bool stop = false;    // a write failed: hand out nothing more
};

// The functions below run with the pipeline's lock held.

bool allClaimed(const Pipeline& pipeline) {
    return pipeline.stop || pipeline.next.section == ObjSection::end;
}

// A piece can be handed out when its slot has been written.
bool canClaim(const Pipeline& pipeline) {
    return !allClaimed(pipeline) && pipeline.claimed < pipeline.written + kSlotCount;
}

// Hands out the next piece and formats it with the lock released.
void claimAndFormat(Pipeline& pipeline, std::unique_lock<std::mutex>& held) {
    ObjCursor start = pipeline.next;
    skipObjRecords(pipeline.mesh, pipeline.next, pipeline.records);
    Slot& slot = pipeline.slots[pipeline.claimed++ % kSlotCount];
    held.unlock();
    slot.end = formatObjRecords(pipeline.mesh, start, pipeline.records, slot.data);
    held.lock();
    slot.ready = true;
    pipeline.changed.notify_all();
}

void formatPieces(Pipeline& pipeline) {
    std::unique_lock<std::mutex> held(pipeline.lock);
    for (;;) {
        pipeline.changed.wait(held, [&] { return allClaimed(pipeline) || canClaim(pipeline); });
        if (allClaimed(pipeline))
            return;
        claimAndFormat(pipeline, held);
    }
}

void writePieces(Pipeline& pipeline, OutputBuffer& out) {
    std::unique_lock<std::mutex> held(pipeline.lock);
    for (;;) {
        if (pipeline.written == pipeline.claimed && allClaimed(pipeline))
            return;
        Slot& slot = pipeline.slots[pipeline.written % kSlotCount];
        if (pipeline.written < pipeline.claimed && slot.ready) {
            held.unlock();
            outputWriteBlock(out, slot.data, size_t(slot.end - slot.data));
            held.lock();
            slot.ready = false;
            ++pipeline.written;
            pipeline.stop = out.failed;
            pipeline.changed.notify_all();
        } else if (canClaim(pipeline)) {
            claimAndFormat(pipeline, held);
        } else {
            pipeline.changed.wait(held);
        }
    }
}

} // namespace

bool writeObjTextInParallel(const Mesh& mesh, OutputBuffer& out, unsigned threads) {
    const size_t slotCapacity = out.capacity / kSlotCount;
    Pipeline pipeline{mesh, slotCapacity / objRecordMaxLength(), {}, {}, {}};
    if (pipeline.records == 0 || out.used != 0)
        return false;
    for (unsigned i = 0; i < kSlotCount; ++i)
        pipeline.slots[i] = Slot{out.data + i * slotCapacity, nullptr, false};
    std::vector<std::thread> formatters;
    try {
        while (formatters.size() + 1 < threads)
            formatters.emplace_back(formatPieces, std::ref(pipeline));
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the ones that started still share the work.
    } catch (const std::bad_alloc&) {
        // No memory for another thread: the same.
    }
    if (formatters.empty())
        return false;
    writePieces(pipeline, out);
    for (std::thread& formatter : formatters)
        formatter.join();
    return true;
}

} // namespace quillout
