#include "store/TextShare.h"

#include <QHashFunctions>

void CTextShare::Share(QString& str) {
    if (str.isEmpty() || str.size() > MAX_LENGTH)
        return;
    QString& slot = m_slots[qHash(str) % SLOT_COUNT];
    if (slot == str)
        str = slot;
    else
        slot = str;
}
