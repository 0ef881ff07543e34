// The one re-entrant lock that guards the document's record list on both threads.
#pragma once

#include "utils/AutoLock.h"

extern CMutex g_RecordLock;
