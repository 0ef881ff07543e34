#include "changes/ValuePath.h"

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool BeginsFilePath(std::string_view name) {
    if (name.empty())
        return true;
    if (name.size() == 2 && name[1] == ':' && IsAsciiLetter(name[0]))
        return true;
    return name.size() >= 3 && name.front() == '%' && name.back() == '%';
}

} // namespace

size_t ValuePathSplit(std::string_view path) {
    constexpr size_t NONE = std::string_view::npos;
    const size_t nLast = path.rfind('\\');
    if (nLast == NONE)
        return NONE;
    // nPrev: the backslash before the component looked at, starting after the root.
    size_t nPrev = path.find('\\');
    size_t nBeforePrev = NONE;
    while (nPrev < nLast) {
        const size_t nNext = path.find('\\', nPrev + 1);
        if (BeginsFilePath(path.substr(nPrev + 1, nNext - nPrev - 1)))
            return nPrev;
        nBeforePrev = nPrev;
        nPrev = nNext;
    }
    // The last component is empty when the name ends with a backslash.
    if (nLast + 1 == path.size() && nBeforePrev != NONE)
        return nBeforePrev;
    return nLast;
}
