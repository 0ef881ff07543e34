#include "store/ArchivedRecord.h"

#include "store/RecordList.h"
#include "store/TextTable.h"
#include "store/TimeText.h"
#include "utils/ByteBuffer.h"

namespace {

// Bytes a few records on, asked for while the current one is parsed: each field's place
// depends on the one before, so the chain finds them at hand.
constexpr size_t PREFETCH_AHEAD = 1024;

// The archive's wide form: FF FE FF, then the length in units as one byte below FF, or FF and
// two bytes below FFFF; the longest form goes through the archive's reader.
inline bool ParseWide(const unsigned char*& p, const unsigned char* pEnd, SArchivedWide& out) {
    const size_t nLeft = size_t(pEnd - p);
    if (nLeft < 4)
        return false;
    const uint32_t nHead = LoadLE32(p);
    if ((nHead & 0xFFFFFF) != 0xFFFEFF)
        return false;
    size_t nHeader = 4, nUnits = nHead >> 24;
    if (nUnits == 0xFF) {
        if (nLeft < 6)
            return false;
        nHeader = 6;
        nUnits = LoadLE16(p + 4);
        if (nUnits == 0xFFFF)
            return false;
    }
    const size_t nBytes = nHeader + 2 * nUnits;
    if (nLeft < nBytes)
        return false;
    out = {p + nHeader, uint32_t(nUnits), uint32_t(nHeader)};
    p += nBytes;
    return true;
}

// The header of a time of the usual length.
constexpr uint32_t TIME_HEAD = 0xFFFEFF | uint32_t(TIME_TEXT_LENGTH) << 24;

// Room for any record of short strings: one check for the whole record, the fields found one
// from the other. False, with q as it was, when a string has another form.
inline bool ParseShort(const unsigned char*& p, SArchivedRecord& out) {
    const unsigned char* q = p;
    for (size_t i = 0; i < 256; i += 64)
        __builtin_prefetch(q + PREFETCH_AHEAD + i);
    uint32_t nBad = 0;
    const auto shortWide = [&](SArchivedWide& w) {
        const uint32_t nHead = LoadLE32(q);
        const size_t nUnits = nHead >> 24;
        nBad |= ((nHead & 0xFFFFFF) ^ 0xFFFEFF) | uint32_t(nUnits == 0xFF);
        w = {q + 4, uint32_t(nUnits), 4};
        q += 4 + 2 * nUnits;
    };
    out.nSeq = int32_t(LoadLE32(q));
    q += 4;
    // Nearly every time has the usual length: a branch that is foreseen lets the next field be
    // found without waiting for this one's header.
    if (LoadLE32(q) == TIME_HEAD) {
        out.time = {q + 4, TIME_TEXT_LENGTH, 4};
        q += 4 + 2 * TIME_TEXT_LENGTH;
    } else {
        shortWide(out.time);
    }
    shortWide(out.process);
    out.nPid = int32_t(LoadLE32(q));
    q += 4;
    shortWide(out.request);
    shortWide(out.path);
    shortWide(out.result);
    shortWide(out.oldValue);
    shortWide(out.newValue);
    if (nBad != 0)
        return false;
    p = q;
    return true;
}

// Every field checked against the end on its own.
inline bool ParseChecked(const unsigned char*& p, const unsigned char* pEnd, SArchivedRecord& out) {
    const unsigned char* q = p;
    if (pEnd - q < 4)
        return false;
    out.nSeq = int32_t(LoadLE32(q));
    q += 4;
    if (!ParseWide(q, pEnd, out.time) || !ParseWide(q, pEnd, out.process) || pEnd - q < 4)
        return false;
    out.nPid = int32_t(LoadLE32(q));
    q += 4;
    if (!ParseWide(q, pEnd, out.request) || !ParseWide(q, pEnd, out.path) ||
        !ParseWide(q, pEnd, out.result) || !ParseWide(q, pEnd, out.oldValue) ||
        !ParseWide(q, pEnd, out.newValue))
        return false;
    p = q;
    return true;
}

} // namespace

// The order CRegInfoObj::Serialize writes: sequence, time, process name, process ID, request,
// path, result, old value, new value.
bool ParseArchivedRecord(const unsigned char*& p, const unsigned char* pEnd, SArchivedRecord& out) {
    const bool bRoom = size_t(pEnd - p) >= MAX_SHORT_ARCHIVED_RECORD;
    if (!(bRoom && ParseShort(p, out)) && !ParseChecked(p, pEnd, out))
        return false;
    // The process ID lies between process name and request; the old and new value lie side
    // by side.
    const auto chars = [](const SArchivedWide& w) {
        return reinterpret_cast<const char*>(w.Bytes());
    };
    uint64_t h = HashAppend(0, chars(out.process), out.process.ByteCount());
    h = HashAppend(h, chars(out.request), out.request.ByteCount());
    out.nTupleHash = HashFinish(HashAppend(h, chars(out.result), out.result.ByteCount()));
    out.nValueHash = HashBytes(
        {chars(out.oldValue),
         size_t(out.newValue.pUnits + 2 * size_t(out.newValue.nUnits) - out.oldValue.Bytes())});
    return true;
}

namespace {

// Four units of the time in one word, a unit in each 16-bit lane, first unit lowest.
constexpr uint64_t Lanes(char a, char b, char c, char d) {
    return uint64_t(uint8_t(a)) | uint64_t(uint8_t(b)) << 16 | uint64_t(uint8_t(c)) << 32 |
           uint64_t(uint8_t(d)) << 48;
}
constexpr uint64_t LANE_TOPS = 0x8000800080008000ull;

// Whether the lanes of w are the separators of sep where sepMask is set, and digits elsewhere.
// Each sum sets a lane's top bit when the lane is at least '0' (or above '9'). Only a lane of
// 0x8030 or more carries into the next one, and such a lane is neither a digit nor a
// separator, so a word with one is refused whatever the carry does.
constexpr bool IsTimeWord(uint64_t w, uint64_t sep, uint64_t sepMask) {
    const uint64_t nAtLeastZero = w + 0x7FD07FD07FD07FD0ull;
    const uint64_t nAboveNine = w + 0x7FC67FC67FC67FC6ull;
    const uint64_t nDigitTops = LANE_TOPS & ~sepMask;
    return ((w ^ sep) & sepMask) == 0 && (nAtLeastZero & ~nAboveNine & nDigitTops) == nDigitTops;
}

constexpr uint64_t Digit(uint64_t w, int nLane) {
    return (w >> (16 * nLane)) & 0xF;
}

} // namespace

// "hh:mm:ss.mmm" read from its units three words at a time, with the rule of
// CRecordList::TimeFromText.
uint64_t ArchivedTime(const SArchivedWide& time) {
    if (time.nUnits != TIME_TEXT_LENGTH)
        return CRecordList::TIME_IN_SEGMENT;
    const uint64_t a = LoadLE64(time.pUnits), b = LoadLE64(time.pUnits + 8),
                   c = LoadLE64(time.pUnits + 16);
    constexpr uint64_t SEP_A = Lanes(0, 0, ':', 0), SEP_B = Lanes(0, ':', 0, 0),
                       SEP_C = Lanes('.', 0, 0, 0);
    if (!(IsTimeWord(a, SEP_A, 0xFFFFull << 32) & IsTimeWord(b, SEP_B, 0xFFFFull << 16) &
          IsTimeWord(c, SEP_C, 0xFFFFull)))
        return CRecordList::TIME_IN_SEGMENT;
    const uint64_t h = Digit(a, 0) * 10 + Digit(a, 1), m = Digit(a, 3) * 10 + Digit(b, 0);
    const uint64_t sec = Digit(b, 2) * 10 + Digit(b, 3);
    const uint64_t ms = Digit(c, 1) * 100 + Digit(c, 2) * 10 + Digit(c, 3);
    return CRecordList::ClockTime(h, m, sec, ms);
}
