// Copies of a document's records for tests that look at them one by one, or as archived.
#pragma once

#include "store/HivewatchDoc.h"
#include "store/RecordList.h"
#include "store/RecordLock.h"
#include "utils/Archive.h"

#include <QBuffer>

#include <vector>

// Every record, oldest first, taken under one hold of the record lock.
inline std::vector<CRegInfoObj> CopyRecords(const CHivewatchDoc& doc) {
    CAutoLock lock(&g_RecordLock);
    std::vector<CRegInfoObj> records(size_t(doc.GetRecordCount()));
    for (size_t i = 0; i < records.size(); ++i)
        doc.CopyRecordAt((long long)i, records[i]);
    return records;
}

// The record at a list index; an empty record when the index has none.
inline CRegInfoObj RecordAt(const CHivewatchDoc& doc, long long nIndex) {
    CRegInfoObj record;
    doc.CopyRecordAt(nIndex, record);
    return record;
}

// The list's records as a document's file holds them after its count.
inline QByteArray ArchiveOf(const CRecordList& list) {
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    CArchive ar(&buf, CArchive::store, 1 << 16);
    list.Store(ar);
    ar.Close();
    return buf.data();
}
