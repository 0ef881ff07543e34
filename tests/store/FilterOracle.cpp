#include "tests/store/FilterOracle.h"

#include "store/RecordLock.h"
#include "store/RegOperations.h"

#include <gtest/gtest.h>

#include <map>

QString OracleText(const CRegInfoObj& r, EFilterColumn nColumn) {
    switch (nColumn) {
    case FC_SEQ:
        return QString::number(r.m_nSeq);
    case FC_TIME:
        return r.m_strTime;
    case FC_PROCESS:
        return r.m_strProcessName;
    case FC_PID:
        return QString::number(r.m_nPid);
    case FC_REQUEST:
        return r.m_strRequest;
    case FC_PATH:
        return r.m_strPath;
    case FC_DESCRIPTION:
        return r.GetDescription();
    case FC_RESULT:
        return r.m_strResult;
    case FC_OLD_VALUE:
        return r.m_strOldValue;
    case FC_NEW_VALUE:
        return r.m_strNewValue;
    default:
        return {};
    }
}

bool OracleRuleMatches(const SFilterRule& rule, const CRegInfoObj& r) {
    if (IsNumberColumn(rule.nColumn) && IsNumericRelation(rule.nRelation)) {
        const qlonglong n = rule.nColumn == FC_SEQ ? r.m_nSeq : r.m_nPid;
        const qlonglong v = rule.strValue.trimmed().toLongLong();
        switch (rule.nRelation) {
        case REL_IS:
            return n == v;
        case REL_IS_NOT:
            return n != v;
        case REL_LESS_THAN:
            return n < v;
        default:
            return n > v;
        }
    }
    const QString h = OracleText(r, rule.nColumn);
    const QString& v = rule.strValue;
    switch (rule.nRelation) {
    case REL_IS:
        return h.compare(v, Qt::CaseInsensitive) == 0;
    case REL_IS_NOT:
        return h.compare(v, Qt::CaseInsensitive) != 0;
    case REL_CONTAINS:
        return h.contains(v, Qt::CaseInsensitive);
    case REL_EXCLUDES:
        return !h.contains(v, Qt::CaseInsensitive);
    case REL_BEGINS_WITH:
        return h.startsWith(v, Qt::CaseInsensitive);
    case REL_ENDS_WITH:
        return h.endsWith(v, Qt::CaseInsensitive);
    case REL_LESS_THAN:
        return h.compare(v, Qt::CaseInsensitive) < 0;
    default:
        return h.compare(v, Qt::CaseInsensitive) > 0;
    }
}

bool OracleShown(const CFilterRules& rules, const CRegInfoObj& r) {
    std::map<int, bool> includes; // column: whether one of its Include rules matched
    for (const SFilterRule& rule : rules) {
        const bool bMatch = OracleRuleMatches(rule, r);
        if (rule.nAction == FILTER_EXCLUDE) {
            if (bMatch)
                return false;
        } else {
            includes[rule.nColumn] = includes[rule.nColumn] || bMatch;
        }
    }
    for (const auto& [nColumn, bAny] : includes) {
        if (!bAny)
            return false;
    }
    return true;
}

namespace {

QString RequestOf(int nCode) {
    const std::string_view name = g_RegOperationNames[size_t(nCode)];
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

} // namespace

void AddVariedRecords(CHivewatchDoc& doc) {
    const QString strLong = QStringLiteral("REG_SZ: ") + QString(80, QLatin1Char('w'));
    const QString values[][2] = {{"", ""},
                                 {"REG_SZ: a", "REG_SZ: a"},
                                 {"REG_DWORD: 0x1 (1)", "REG_DWORD: 0x2 (2)"},
                                 {"", "REG_SZ: \u00e9t\u00e9"},
                                 {strLong, ""},
                                 {"reg_sz: A", strLong + "x"}};
    const QString processes[] = {"App.exe", "svc_host.exe", "\u212Aelvin.exe",
                                 "reg.exe", "REG.EXE",      QString(70, QLatin1Char('p')) + ".exe"};
    const QString paths[] = {"HKLM\\SOFTWARE\\Key_%1\\Value", "HKCU\\\u00c9t\u00e9\\\u017Fong%1",
                             "HKU\\" + QString(300, QLatin1Char('k')) + "%1", "hkcr\\.txt\\%1"};
    int nSeq = 1;
    for (int nCode = 0; nCode < REG_OPERATION_COUNT; ++nCode) {
        for (const char* pResult : {"SUCCESS", "ACCESS DENIED", ""}) {
            for (const auto& v : values) {
                auto* p = new CRegInfoObj;
                p->m_nSeq = nSeq;
                p->m_strTime =
                    nSeq % 11 == 0
                        ? QStringLiteral("7:21:49 AM")
                        : QStringLiteral("10:%1:30.250").arg(nSeq % 60, 2, 10, QLatin1Char('0'));
                p->m_strProcessName = processes[nSeq % 6];
                p->m_nPid = nSeq % 5 == 0 ? -nSeq : 1000 + nSeq % 37;
                p->m_strRequest = nSeq % 13 == 0 ? RequestOf(nCode).toLower() : RequestOf(nCode);
                p->m_strPath = paths[nSeq % 4].arg(nSeq);
                p->m_strResult = QString::fromLatin1(pResult);
                p->m_strOldValue = v[0];
                p->m_strNewValue = v[1];
                doc.AppendRecord(p);
                ++nSeq;
            }
        }
    }
    // Records as the capture thread files them: a driver file time, narrow texts.
    CAutoLock lock(&g_RecordLock);
    ASSERT_TRUE(doc.BeginCaptureGroup(doc.GetGeneration()));
    for (int i = 0; i < 20; ++i) {
        const std::string strPid = std::to_string(3000 + i % 3);
        const std::string strPath = "HKLM\\System\\Captured\\" + std::to_string(i);
        const SRecordFields fields = {strPid,
                                      i % 2 ? "cap.exe" : "Cap.EXE",
                                      g_RegOperationNames[size_t(i % REG_OPERATION_COUNT)],
                                      strPath,
                                      "SUCCESS",
                                      i % 3 ? "REG_DWORD: 0x1 (1)" : "",
                                      "REG_DWORD: 0x2 (2)"};
        doc.AppendCaptured(uint32_t(nSeq++), 133000000000000000ull + uint64_t(i) * 10'000'000,
                           3000 + i % 3, fields);
    }
    doc.EndCaptureGroup();
}
