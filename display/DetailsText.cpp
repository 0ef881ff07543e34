#include "display/DetailsText.h"

#include "store/RegInfoObj.h"
#include "store/RegOperations.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString Line(const char* pLabel, const QString& strValue) {
    return QLatin1Char(' ') + QLatin1String(pLabel) + strValue + kCrLf;
}

QString OperationPart(const CRegInfoObj& r) {
    switch (r.GetFunType()) {
    case OP_QUERY_VALUE:
        return QStringLiteral(" Value: ") + r.m_strOldValue;
    case OP_CREATE_OPEN:
        return QStringLiteral("Open Existing Key");
    case OP_CREATE_NEW:
        return QStringLiteral("Create New Key");
    case OP_SET_VALUE:
        return Line("Old Value: ", r.m_strOldValue) + Line("New Value: ", r.m_strNewValue);
    case OP_DELETE_VALUE:
        if (r.m_strNewValue.isEmpty())
            return QStringLiteral(" Value: ") + r.m_strOldValue;
        return Line("Key: ", r.m_strOldValue) + QStringLiteral("  Value: ") + r.m_strNewValue +
               kCrLf;
    default:
        return {};
    }
}

} // namespace

QString BuildDetailsText(const CRegInfoObj& r) {
    return Line("Seqence: ", QString::number(r.m_nSeq)) + Line("Time Sample: ", r.m_strTime) +
           Line("Process Name: ", r.m_strProcessName) +
           Line("Process ID: ", QString::number(r.m_nPid)) + Line("Request: ", r.m_strRequest) +
           Line("Path: ", r.m_strPath) + OperationPart(r);
}
