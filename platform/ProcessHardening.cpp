#include "platform/ProcessHardening.h"

#include <sys/prctl.h>

namespace ProcessHardening {

bool disableCoreDumps()
{
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

bool isDumpable()
{
    return ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 1;
}

} // namespace ProcessHardening
