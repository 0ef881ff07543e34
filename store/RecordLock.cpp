#include "store/RecordLock.h"

CMutex g_RecordLock;
