// Registry Changes over ten million records of varied activity: many processes, thousands of
// keys at several depths with values of every kind, creates, sets, deletes with their
// listings, failures and reads in between, names in other scripts. Keys are picked as registry
// activity picks them: a few very often, most rarely (the k-th most used about 1/k as often as
// the first). The target case has 20 thousand keys below shared vendor and product keys, each
// with a few values, and a tenth of the records changing something (real traces change in 1 to
// 6 of a hundred); a second case has 100 thousand keys and a fifth of the records changing,
// every key on a path of its own. The time comes with the time a plain copy of the store's
// bytes takes in the same run (the least any pass over the records can cost) and with the
// machine's load average.
#include "bench/BenchSupport.h"
#include "changes/RegChanges.h"
#include "store/RecordList.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

namespace {

constexpr int VALUE_NAMES = 400;
constexpr int NAMES_PER_KEY = 6; // each key has a few values of its own
constexpr int PROCESSES = 60;

// The roots the keys of the benchmark lie under.
const std::array<const char*, 5> ROOTS = {"HKLM\\SOFTWARE", "HKCU\\Software",
                                          "HKLM\\SYSTEM\\CurrentControlSet\\Services", "HKCR",
                                          "HKU\\S-1-5-21-0-0-0-1001\\Software"};

// Keys below a few hundred vendor and product keys, as the registry holds them.
std::string SharedKeyPath(uint32_t n) {
    static const std::array<const char*, 6> WORDS = {"Settings",
                                                     "Cache",
                                                     "Options",
                                                     "Gr\xc3\xbc\xc3\x9f"
                                                     "e",
                                                     "\xe6\x97\xa5\xe6\x9c\xac",
                                                     "Layout"};
    return std::string(ROOTS[n % ROOTS.size()]) + "\\Vendor" + std::to_string(n / 7 % 60) +
           "\\Product" + std::to_string(n / 13 % 25) + '\\' + WORDS[n % WORDS.size()] +
           std::to_string(n % 30) + "\\K" + std::to_string(n);
}

// Every key on a path of its own.
std::string OwnKeyPath(uint32_t n) {
    static const std::array<const char*, 8> WORDS = {"Vendor",
                                                     "Product",
                                                     "Settings",
                                                     "Cache",
                                                     "Options",
                                                     "Gr\xc3\xbc\xc3\x9f"
                                                     "e",
                                                     "\xe6\x97\xa5\xe6\x9c\xac",
                                                     "Layout"};
    std::string str = ROOTS[n % ROOTS.size()];
    uint32_t x = n * 2654435761u;
    const int nDepth = 2 + int(n % 4);
    for (int i = 0; i < nDepth; ++i) {
        str += '\\';
        str += WORDS[x % WORDS.size()];
        str += std::to_string(x % 97);
        x = x * 1103515245u + 12345u;
    }
    str += "\\K" + std::to_string(n);
    return str;
}

std::string ValueText(std::mt19937& rng) {
    switch (rng() % 5) {
    case 0: {
        const std::string strDigit = std::to_string(rng() % 10);
        return "REG_DWORD: 0x0000000" + strDigit + " (" + strDigit + ")";
    }
    case 1:
        return "REG_SZ: C:\\Program Files\\App" + std::to_string(rng() % 500) + "\\bin";
    case 2:
        return "REG_BINARY: 01 02 " + std::to_string(10 + rng() % 90) + " FF";
    case 3:
        return "REG_MULTI_SZ: a, b" + std::to_string(rng() % 50);
    default:
        return "REG_EXPAND_SZ: %ProgramFiles%\\x" + std::to_string(rng() % 1000);
    }
}

// The records, made once per case: most are reads, as in any capture; the rest creates, sets
// and deletes over keys that are deleted and made again.
const CRecordList& VariedRecords(long long nCount, int nKeys) {
    const bool bShared = nKeys <= 20'000;
    const unsigned nChangesPerMille = bShared ? 100 : 200;
    static CRecordList* s_pList = nullptr;
    static int s_nKeys = 0;
    if (s_pList && s_pList->GetCount() == nCount && s_nKeys == nKeys)
        return *s_pList;
    delete s_pList;
    s_pList = new CRecordList;
    s_nKeys = nKeys;
    std::mt19937 rng(18);
    std::string strPath, strOld, strNew;
    const auto name = [&](uint32_t nKey) {
        return "\\Name" + std::to_string((nKey * 7 + rng() % NAMES_PER_KEY) % VALUE_NAMES);
    };
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const double dLogKeys = std::log(double(nKeys));
    for (long long i = 0; i < nCount; ++i) {
        const uint32_t nKey =
            std::min(uint32_t(nKeys - 1), uint32_t(std::exp(uniform(rng) * dLogKeys)) - 1);
        const std::string strKey = bShared ? SharedKeyPath(nKey) : OwnKeyPath(nKey);
        const std::string strProcess = "process" + std::to_string(nKey % PROCESSES) + ".exe";
        // Reads first, then the changes in their shares: creates 15%, sets 60%, value deletes
        // 15%, key deletes 5%, flushes 5%.
        const unsigned nRoll = unsigned(rng() % 1000);
        const unsigned nChange = nRoll < 1000 - nChangesPerMille
                                     ? 1000
                                     : (nRoll - (1000 - nChangesPerMille)) * 100 / nChangesPerMille;
        const char* pRequest = "RegQueryValue";
        strPath = strKey;
        strOld.clear();
        strNew.clear();
        if (nChange == 1000) {
            // Reads: opens, queries, enumerations and closes.
            static const std::array<const char*, 5> READS = {
                "RegOpenKey", "RegQueryValue", "EnumerateValueKey", "RegQueryKey", "RegCloseKey"};
            pRequest = READS[nRoll % READS.size()];
            if (pRequest[3] == 'Q' && pRequest[8] == 'V')
                strPath += name(nKey);
        } else if (nChange < 15) {
            pRequest = nChange < 10 ? "RegCreateKey(Open)" : "RegCreateKey(New)";
        } else if (nChange < 75) {
            pRequest = "RegSetValueKey";
            strPath += nRoll % 7 ? name(nKey) : std::string("\\(Default)");
            if (rng() % 3)
                strOld = ValueText(rng);
            strNew = ValueText(rng);
        } else if (nChange < 90) {
            pRequest = "RegDeleteValue";
            strPath += name(nKey);
            strOld = ValueText(rng);
        } else if (nChange < 95) {
            pRequest = "RegDeleteKey";
            strOld =
                "KEY: \"Name1\"=REG_DWORD:01000000 \"Name2\"=REG_SZ:\"x\" [Sub] @=REG_BINARY:ff";
        } else {
            pRequest = "RegFlushKey";
        }
        const char* pResult = rng() % 20 ? "SUCCESS" : "ACCESS DENIED";
        s_pList->AppendTexts(int32_t(i), int32_t(nKey % PROCESSES), "12:00:00.000",
                             {strProcess, pRequest, strPath, pResult, strOld, strNew});
    }
    return *s_pList;
}

void BM_RegistryChanges(benchmark::State& state) {
    const CRecordList& list = VariedRecords(state.range(0), int(state.range(1)));
    const double dCopy = CopySeconds(list.GetBytesHeld());
    double dCpu = 0;
    SRegChangeCounts counts;
    for (auto _ : state) {
        const CStopwatch watch;
        const std::unique_ptr<CRegChanges> pChanges = CRegChanges::FromRecords(list);
        dCpu += watch.CpuSeconds();
        counts = pChanges->Counts();
        benchmark::DoNotOptimize(pChanges.get());
    }
    double adLoad[1] = {0};
    getloadavg(adLoad, 1);
    const double dIterations = double(state.iterations());
    state.counters["records"] = double(list.GetCount());
    state.counters["records_per_s"] =
        benchmark::Counter(double(list.GetCount()) * dIterations, benchmark::Counter::kIsRate);
    state.counters["cpu_s"] = dCpu / dIterations;
    state.counters["copy_s"] = dCopy;
    state.counters["x_copy"] = dCpu / dIterations / dCopy;
    state.counters["store_MB"] = double(list.GetBytesHeld()) / 1e6;
    state.counters["keys_created"] = double(counts.m_nKeysCreated);
    state.counters["values_changed"] = double(counts.m_nValuesChanged);
    state.counters["load_avg_1min"] = adLoad[0];
}
BENCHMARK(BM_RegistryChanges)
    ->Args({100'000, 20'000})
    ->Args({10'000'000, 20'000})
    ->Args({10'000'000, 100'000})
    ->ArgNames({"records", "keys"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
