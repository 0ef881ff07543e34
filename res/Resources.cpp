#include "res/Resources.h"

#include <QtGlobal>

// Outside any namespace, as the resource registration requires.
static void InitOnce() {
    Q_INIT_RESOURCE(hivewatch);
}

void InitHivewatchResources() {
    static const bool s_bDone = (InitOnce(), true);
    (void)s_bDone;
}
