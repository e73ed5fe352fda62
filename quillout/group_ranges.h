// The exporter reads each group's triangles straight from the triangle table, so a group
// whose triangles reach past the table's end (or that names triangles when there is no table)
// must be refused before anything is written.
#pragma once

#include "msh.h"

#include <cstdint>

namespace quillout {

// True when some group's triangles (firstIndex / 3 to firstIndex / 3 + indexCount / 3 - 1)
// do not all lie inside the triangle table; `position` is then the first such group.
// A group with no triangles names none and always fits.
bool findGroupPastTriangles(const Mesh& mesh, uint32_t& position);

} // namespace quillout
