#include "core/QuitOffer.h"

#include "core/AssignAndNotify.h"

void QuitOffer::setOffered(bool offered)
{
    assignAndNotify(m_offered, offered, this, &QuitOffer::offeredChanged);
}
