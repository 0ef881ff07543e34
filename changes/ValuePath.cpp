#include "changes/ValuePath.h"

namespace {

bool BeginsFilePath(QStringView name) {
    if (name.isEmpty())
        return true;
    if (name.size() == 2 && name[1] == u':' && name[0].unicode() < 0x80 && name[0].isLetter())
        return true;
    return name.size() >= 3 && name.front() == u'%' && name.back() == u'%';
}

} // namespace

qsizetype ValuePathSplit(QStringView path) {
    const qsizetype nLast = path.lastIndexOf(u'\\');
    if (nLast < 0)
        return -1;
    // nPrev: the backslash before the component being looked at, starting after the root.
    qsizetype nPrev = path.indexOf(u'\\');
    qsizetype nBeforePrev = -1;
    while (nPrev >= 0 && nPrev < nLast) {
        const qsizetype nNext = path.indexOf(u'\\', nPrev + 1);
        if (BeginsFilePath(path.mid(nPrev + 1, nNext - nPrev - 1)))
            return nPrev;
        nBeforePrev = nPrev;
        nPrev = nNext;
    }
    // The last component: empty when the name ends with a backslash.
    if (nPrev == nLast && nLast + 1 == path.size() && nBeforePrev > 0)
        return nBeforePrev;
    return nLast;
}
