// Guards the loaded .msh file against being overwritten by the run's own outputs.
#pragma once

namespace quillout {

// True when both paths name one existing file (the same identity: device and inode, or volume
// and file index), whatever their spelling: "a.msh", "./a.msh" and a link to it are one file.
bool namesSameFile(const char* first, const char* second);

} // namespace quillout
