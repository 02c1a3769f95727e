#pragma once

#include <QtGlobal>

// This process's memory as the kernel accounts it.
namespace ProcessMemory {

// The peak resident set size in KiB (VmHWM); -1 when it cannot be read.
qint64 peakResidentKiB();

} // namespace ProcessMemory
