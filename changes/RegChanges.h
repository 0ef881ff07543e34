// Works out the net registry changes of records, first to last: per key and value what it was
// before and is after, who changed it and how often, the counts, and the files that redo and
// undo them.
#pragma once

#include "changes/RegChangeTree.h"
#include "winereg/RegFileWriter.h"

#include <memory>
#include <vector>

class CHivewatchDoc;
class CRecordList;

// Only successful RegCreateKey(New), RegDeleteKey, RegSetValueKey and RegDeleteValue records
// change the registry; successful RegCreateKey(Open) records tell that a key was there.
// What a key or value was before the first record comes from the first record about it (a
// created key was not there, a set tells the data it replaced) or, when a key above it was
// deleted first, from what that delete record lists. A value's data is known where its text is
// exact (see RegValueFromText); data cut in the records ("...") is not.
class CRegChanges {
public:
    // From every record of the document, or from the records at the given list indices
    // (ascending, as a display filter shows them; others are passed over). Holds
    // g_RecordLock while it reads the records.
    static std::unique_ptr<CRegChanges>
    FromDocument(const CHivewatchDoc& doc, const std::vector<long long>* pIndices = nullptr);
    // The same, with g_RecordLock held by the caller.
    static std::unique_ptr<CRegChanges>
    FromRecords(const CRecordList& list, const std::vector<long long>* pIndices = nullptr);

    // The top of the tree: the roots (HKLM, HKCU, ...) are its subkeys.
    const CRegChangeKey& Top() const { return *m_pTop; }
    const SRegChangeCounts& Counts() const { return m_counts; }
    // The key or value at a path ("HKCU\Software\X"), or nullptr.
    const CRegChangeKey* FindKey(const QString& strPath) const;

    // The file that applies the changes, and the file that reverts them (deletes created keys
    // and values, puts back changed and deleted values with their old data and types, makes
    // deleted keys again with their values and subkeys). What a file cannot do is said in
    // comments at the place it belongs to.
    CRegFileWriter RedoFile() const;
    CRegFileWriter UndoFile() const;

    CRegChanges(std::unique_ptr<CRegChangeKey> pTop, const SRegChangeCounts& counts)
        : m_pTop(std::move(pTop)), m_counts(counts) {}

private:
    std::unique_ptr<CRegChangeKey> m_pTop;
    SRegChangeCounts m_counts;
};
