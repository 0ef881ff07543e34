// One record as CRegInfoObj::Serialize archives it, found in a buffer without copying it.
#pragma once

#include <cstddef>
#include <cstdint>

// One archived wide string in the buffer: its code units, and the header before them.
struct SArchivedWide {
    const unsigned char* pUnits;
    uint32_t nUnits;
    uint32_t nHeader;

    const unsigned char* Bytes() const { return pUnits - nHeader; }
    size_t ByteCount() const { return nHeader + 2 * size_t(nUnits); }
};

// The fields of one record as they stand in the buffer, and the hashes of the archived bytes
// of its shared keys (process name, request and result; old and new value).
struct SArchivedRecord {
    int32_t nSeq, nPid;
    SArchivedWide time, process, request, path, result, oldValue, newValue;
    uint64_t nTupleHash, nValueHash;
};

// The largest record whose strings all have the short form (fewer than 255 units).
inline constexpr size_t MAX_SHORT_ARCHIVED_RECORD = 8 + 7 * (4 + 2 * 254);

// Parses the record at p: true with p past it, or false with p as it was when the record is
// not whole before pEnd or not in the usual form (a narrow string, a string of the longest
// form), which only the archive's own reader takes.
bool ParseArchivedRecord(const unsigned char*& p, const unsigned char* pEnd, SArchivedRecord& out);

// The record's time as the store keeps it (its digits read straight from the units), or
// CRecordList::TIME_IN_SEGMENT when it has another form.
uint64_t ArchivedTime(const SArchivedWide& time);
