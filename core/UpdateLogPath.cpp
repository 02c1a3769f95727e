#include "CoreConstants.h"
#include "UpdateLog.h"

void UpdateLog::append(const QString& message) { appendTo(CoreConstants::updateCheckLogPath(), message); }
