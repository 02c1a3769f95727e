#include "platform/IdleMemory.h"

#include "platform/MappedFilePages.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

qint64 IdleMemory::release(const QSet<QString>& keep)
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
    return MappedFilePages::release(MappedFilePages::mappedFiles() - keep);
}
