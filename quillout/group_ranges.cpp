#include "quillout/group_ranges.h"

namespace quillout {

bool findGroupPastTriangles(const Mesh& mesh, uint32_t& position) {
    for (uint32_t j = 0; j < mesh.groupCount; ++j) {
        const MeshGroup& group = mesh.groups[j];
        const uint64_t count = group.indexCount / 3;
        const uint64_t end = uint64_t(group.firstIndex / 3) + count;
        if (count != 0 && end > mesh.triangleCount) {
            position = j;
            return true;
        }
    }
    return false;
}

} // namespace quillout
