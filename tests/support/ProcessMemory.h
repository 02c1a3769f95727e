#pragma once

#include <QtGlobal>

// This process's memory as the kernel accounts it.
namespace ProcessMemory {

// Memory figures mean nothing under the sanitizers (shadow memory, quarantine):
// tests check them in the normal build only.
#ifdef QUORVANE_SANITIZED_BUILD
inline constexpr bool meaningful = false;
#else
inline constexpr bool meaningful = true;
#endif

// The peak resident set size in KiB (VmHWM); -1 when it cannot be read.
qint64 peakResidentKiB();

} // namespace ProcessMemory
