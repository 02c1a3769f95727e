#pragma once

// Process-wide protections of the release program.
namespace ProcessHardening {

// Marks the process as not dumpable: no core file, and no other process of
// the same user may attach to it or read its memory (the private key is held
// there). True when the kernel took it.
bool disableCoreDumps();

// Whether the process is currently dumpable.
bool isDumpable();

} // namespace ProcessHardening
