#include "bench/VariedDocument.h"

#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/RegOperations.h"

#include <array>
#include <cstdio>
#include <vector>

namespace {

constexpr std::array<const char*, 48> kWords = {"Software",
                                                "Microsoft",
                                                "Windows",
                                                "CurrentVersion",
                                                "Explorer",
                                                "Policies",
                                                "System",
                                                "Control",
                                                "Services",
                                                "Parameters",
                                                "Classes",
                                                "CLSID",
                                                "Interface",
                                                "TypeLib",
                                                "Shell",
                                                "Run",
                                                "RunOnce",
                                                "Internet Settings",
                                                "Zones",
                                                "Fonts",
                                                "Nls",
                                                "CodePage",
                                                "Session Manager",
                                                "Environment",
                                                "Network",
                                                "Tcpip",
                                                "Winsock2",
                                                "Catalog9",
                                                "Advanced",
                                                "Folder",
                                                "Desktop",
                                                "Keyboard Layout",
                                                "Mouse",
                                                "Sound",
                                                "Printers",
                                                "Wow6432Node",
                                                "Vendor",
                                                "Settings",
                                                "Cache",
                                                "History",
                                                "Recent",
                                                "MRUList",
                                                "Options",
                                                "Security",
                                                "Lsa",
                                                "Config",
                                                "Profile",
                                                "Device"};

constexpr std::array<const char*, 5> kRoots = {"HKLM", "HKCU", "HKCR", "HKU", "HKCC"};

// Reads far more often than writes, as a desktop does.
constexpr std::array<int, 32> kOperations = {
    OP_OPEN_KEY,     OP_OPEN_KEY,    OP_OPEN_KEY,    OP_OPEN_KEY,    OP_OPEN_KEY,    OP_CLOSE_KEY,
    OP_CLOSE_KEY,    OP_CLOSE_KEY,   OP_CLOSE_KEY,   OP_QUERY_KEY,   OP_QUERY_KEY,   OP_QUERY_KEY,
    OP_QUERY_VALUE,  OP_QUERY_VALUE, OP_QUERY_VALUE, OP_QUERY_VALUE, OP_QUERY_VALUE, OP_ENUM_KEY,
    OP_ENUM_KEY,     OP_ENUM_VALUE,  OP_ENUM_VALUE,  OP_CREATE_OPEN, OP_FLUSH_KEY,   OP_LOAD_KEY,
    OP_UNLOAD_KEY,   OP_CREATE_NEW,  OP_SET_VALUE,   OP_SET_VALUE,   OP_SET_VALUE,   OP_DELETE_KEY,
    OP_DELETE_VALUE, OP_QUERY_VALUE};

constexpr std::array<std::string_view, 8> kResults = {
    RESULT_SUCCESS,        RESULT_SUCCESS,       RESULT_SUCCESS,         RESULT_SUCCESS,
    RESULT_NAME_NOT_FOUND, RESULT_ACCESS_DENIED, RESULT_NO_MORE_ENTRIES, RESULT_BUFFER_OVERFLOW};

struct SRandom {
    uint64_t x;
    uint32_t Next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return uint32_t(x >> 11);
    }
};

std::vector<std::string> MakeKeys(SRandom& rng) {
    std::vector<std::string> keys(VARIED_KEYS);
    for (std::string& key : keys) {
        key = kRoots[rng.Next() % kRoots.size()];
        const int nParts = 3 + int(rng.Next() % 6);
        for (int i = 0; i < nParts; ++i) {
            key += '\\';
            key += kWords[rng.Next() % kWords.size()];
            if (rng.Next() % 4 == 0)
                key += std::to_string(rng.Next() % 100);
        }
    }
    return keys;
}

// A value text of one of the forms the driver writes; now and then longer than the store
// shares between records.
std::string MakeValue(SRandom& rng) {
    char sz[64];
    switch (rng.Next() % 6) {
    case 0:
        return {};
    case 1: {
        const uint32_t n = rng.Next() % 1000;
        std::snprintf(sz, sizeof(sz), "REG_DWORD: 0x%08x (%u)", n, n);
        return sz;
    }
    case 2:
        return std::string("REG_SZ: ") + kWords[rng.Next() % kWords.size()];
    case 3:
        return std::string("REG_EXPAND_SZ: %SystemRoot%\\") + kWords[rng.Next() % kWords.size()] +
               "\\" + std::to_string(rng.Next() % 50) + ".dll";
    case 4: {
        std::string s = "REG_BINARY:";
        const int n = 8 + int(rng.Next() % 40);
        for (int i = 0; i < n; ++i) {
            std::snprintf(sz, sizeof(sz), " %02X", rng.Next() & 0xFF);
            s += sz;
        }
        return s;
    }
    default:
        return std::string("REG_QWORD: ") + std::to_string(rng.Next());
    }
}

} // namespace

std::string VariedProcessName(int n) {
    char sz[32];
    static const char* const kStems[] = {"svc", "app", "tool", "setup", "agent", "host"};
    std::snprintf(sz, sizeof(sz), "%s%04d.exe", kStems[n % 6], n);
    return sz;
}

const char* VariedPathWord(int n) {
    return kWords[size_t(n) % kWords.size()];
}

void FillVariedDocument(CHivewatchDoc& doc, size_t nRecords, unsigned nSeed) {
    SRandom rng{0x9E3779B97F4A7C15ull ^ nSeed};
    const std::vector<std::string> keys = MakeKeys(rng);
    std::vector<std::string> processes(VARIED_PROCESSES);
    for (int i = 0; i < VARIED_PROCESSES; ++i)
        processes[size_t(i)] = VariedProcessName(i);
    constexpr size_t GROUP = 4096; // records per hold of the lock, as a driver buffer
    uint64_t nTime = 133'500'000'000'000'000ull;
    std::string strPath, strOld, strNew, strPid;
    for (size_t nDone = 0; nDone < nRecords;) {
        CAutoLock lock(&g_RecordLock);
        if (!doc.BeginCaptureGroup(doc.GetGeneration()))
            return;
        for (size_t k = 0; k < GROUP && nDone < nRecords; ++k, ++nDone) {
            // A few busy processes and a long tail.
            const uint32_t r = rng.Next();
            const int nProcess = r % 4 == 0 ? int(r >> 2) % 20 : int(r >> 2) % VARIED_PROCESSES;
            const int32_t nPid = 1000 + nProcess * 4 + int(rng.Next() % 2);
            const int nCode = kOperations[rng.Next() % kOperations.size()];
            strPath = keys[rng.Next() % keys.size()];
            if (IsValueOperation(nCode)) {
                strPath += '\\';
                strPath += kWords[rng.Next() % kWords.size()];
            }
            strOld = nCode == OP_QUERY_VALUE || nCode == OP_SET_VALUE ? MakeValue(rng) : "";
            strNew = nCode == OP_SET_VALUE ? MakeValue(rng) : "";
            strPid = std::to_string(nPid);
            const SRecordFields fields = {strPid,
                                          processes[size_t(nProcess)],
                                          g_RegOperationNames[size_t(nCode)],
                                          strPath,
                                          kResults[rng.Next() % kResults.size()],
                                          strOld,
                                          strNew};
            nTime += 1 + rng.Next() % 20000;
            doc.AppendCaptured(uint32_t(nDone + 1), nTime, nPid, fields);
        }
        doc.EndCaptureGroup();
    }
}

const std::vector<SVariedRuleSet>& VariedRuleSets() {
    static const std::vector<SVariedRuleSet> s_sets = [] {
        const QString strProcess = QString::fromStdString(VariedProcessName(6));
        std::vector<SVariedRuleSet> sets;
        sets.push_back({"one_process", {FilterRule(FC_PROCESS, REL_IS, strProcess)}, false});
        CFilterRules writes = {FilterRule(FC_PROCESS, REL_IS, strProcess)};
        for (const char* p :
             {"RegSetValueKey", "RegCreateKey(New)", "RegDeleteKey", "RegDeleteValue"})
            writes << FilterRule(FC_REQUEST, REL_IS, QString::fromLatin1(p));
        sets.push_back({"one_process_writes", writes, false});
        sets.push_back({"excludes",
                        {FilterRule(FC_PROCESS, REL_BEGINS_WITH, "svc", FILTER_EXCLUDE),
                         FilterRule(FC_REQUEST, REL_IS, "RegCloseKey", FILTER_EXCLUDE),
                         FilterRule(FC_RESULT, REL_IS, "NAME NOT FOUND", FILTER_EXCLUDE)},
                        false});
        sets.push_back({"seq_and_pid",
                        {FilterRule(FC_SEQ, REL_LESS_THAN, "2000000", FILTER_EXCLUDE),
                         FilterRule(FC_SEQ, REL_MORE_THAN, "8000000", FILTER_EXCLUDE),
                         FilterRule(FC_PID, REL_LESS_THAN, "5000")},
                        false});
        sets.push_back(
            {"path_contains", {FilterRule(FC_PATH, REL_CONTAINS, "explorer\\advanced")}, true});
        sets.push_back({"values_and_description",
                        {FilterRule(FC_OLD_VALUE, REL_BEGINS_WITH, "REG_DWORD"),
                         FilterRule(FC_DESCRIPTION, REL_CONTAINS, "to reg_sz")},
                        true});
        return sets;
    }();
    return s_sets;
}
