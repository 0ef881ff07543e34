#include "bench/SampleDocument.h"

#include "store/HivewatchDoc.h"
#include "store/RegOperations.h"

#include <vector>

namespace {

constexpr int PROTOTYPE_COUNT = 64;

const std::vector<CRegInfoObj>& Prototypes() {
    static const std::vector<CRegInfoObj> s_records = [] {
        std::vector<CRegInfoObj> records(PROTOTYPE_COUNT);
        for (int i = 0; i < PROTOTYPE_COUNT; ++i) {
            CRegInfoObj& r = records[size_t(i)];
            const int nCode = i % REG_OPERATION_COUNT;
            r.m_strTime = QStringLiteral("12:34:56.%1").arg(i, 3, 10, QLatin1Char('0'));
            r.m_strProcessName = QStringLiteral("process%1.exe").arg(i % 7);
            r.m_nPid = 4000 + i;
            r.m_strRequest = QString::fromLatin1(g_RegOperationNames[size_t(nCode)].data());
            r.m_strPath = QStringLiteral("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                         "Explorer\\Advanced\\Folder%1\\Value")
                              .arg(i);
            r.m_strResult = QStringLiteral("SUCCESS");
            r.m_strOldValue = QStringLiteral("REG_DWORD: 0x00000001 (1)");
            r.m_strNewValue = QStringLiteral("REG_DWORD: 0x00000002 (2)");
        }
        return records;
    }();
    return s_records;
}

} // namespace

void AppendSampleRecords(CHivewatchDoc& doc, long long nFirst, long long nCount) {
    std::vector<CRegInfoObj*> batch;
    batch.reserve(4096);
    for (long long i = nFirst; i < nFirst + nCount; ++i) {
        auto* p = new CRegInfoObj(Prototypes()[size_t(i % PROTOTYPE_COUNT)]);
        p->m_nSeq = int32_t(i + 1);
        batch.push_back(p);
        if (batch.size() == batch.capacity()) {
            doc.AppendRecords(batch.data(), batch.size());
            batch.clear();
        }
    }
    doc.AppendRecords(batch.data(), batch.size());
}
