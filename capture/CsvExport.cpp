#include "capture/CsvExport.h"

#include "platform/AnsiCodePage.h"
#include "settings/SetObj.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"

#include <QFile>

bool IsRecordExported(const CRegInfoObj& record, int nExportScope) {
    switch (nExportScope) {
    case EXPORT_WRITE:
        return record.IsWriteOpt() && record.Modified();
    case EXPORT_MODIFIED:
        return record.Modified() != 0;
    default:
        return true;
    }
}

SExportResult ExportCsv(const CHivewatchDoc& doc, const QString& strPath, int nExportScope) {
    SExportResult result;
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        result.strError = QStringLiteral("File could not be created: %1 (%2)")
                              .arg(int(file.error()))
                              .arg(file.errorString());
        return result;
    }
    QByteArray chunk = QByteArray(CSV_HEADER);
    auto writeChunk = [&]() {
        const bool bOk = file.write(chunk) == chunk.size();
        chunk.clear();
        return bOk;
    };
    bool bWriteOk = true;
    {
        CAutoLock lock(&g_RecordLock);
        for (CObject* pObj : doc.m_listRecords) {
            const auto& record = *static_cast<const CRegInfoObj*>(pObj);
            if (!IsRecordExported(record, nExportScope))
                continue;
            chunk += Utf16ToAnsi(record.GetCVSLine());
            ++result.nRecords;
            if (chunk.size() >= (1 << 16) && !(bWriteOk = writeChunk()))
                break;
        }
    }
    if (bWriteOk)
        bWriteOk = writeChunk();
    if (bWriteOk)
        bWriteOk = file.flush();
    file.close();
    if (!bWriteOk || file.error() != QFileDevice::NoError) {
        result.strError = QStringLiteral("Could not write %1: %2").arg(strPath, file.errorString());
        return result;
    }
    result.bOk = true;
    return result;
}
