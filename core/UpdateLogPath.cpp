#include "core/CoreConstants.h"
#include "core/UpdateLog.h"

void UpdateLog::append(const QString& message) { appendTo(CoreConstants::updateCheckLogPath(), message); }
