#include "driver/FloodGenerator.h"

#include "driver/DriverEvent.h"
#include "driver/SimActivity.h"
#include "driver/SimSeedData.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 4> PROCESSES = {"explorer.exe", "svchost.exe", "chrome.exe",
                                                       "MsMpEng.exe"};
constexpr std::array<std::string_view, 4> KEYS = {
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", "HKCR\\.txt"};
constexpr std::array<int, 6> OPERATIONS = {OP_OPEN_KEY, OP_QUERY_VALUE, OP_QUERY_KEY,
                                           OP_ENUM_KEY, OP_CLOSE_KEY,   OP_SET_VALUE};

} // namespace

CFloodGenerator::CFloodGenerator(bool bVaried) {
    if (bVaried)
        MakeVaried();
    else
        MakeNarrow();
}

void CFloodGenerator::MakeNarrow() {
    for (size_t i = 0; i < 64; ++i) {
        SDriverEvent ev;
        ev.m_nPid = uint32_t(1000 + 4 * (i % PROCESSES.size()));
        ev.m_strProcess = std::string(PROCESSES[i % PROCESSES.size()]);
        ev.m_nOperation = OPERATIONS[i % OPERATIONS.size()];
        ev.m_strPath = std::string(KEYS[(i / 3) % KEYS.size()]);
        if (IsValueOperation(ev.m_nOperation)) {
            ev.m_strPath += "\\Value" + std::to_string(i % 7);
            ev.m_strNewValue = "REG_DWORD: 0x00000001 (1)";
        }
        if (i % 11 == 5)
            ev.m_strResult = std::string(RESULT_NAME_NOT_FOUND);
        m_arTemplates.push_back(
            {ev.m_nOperation, ev.Succeeded(), ev.m_strProcess, ev.m_strPath, FormatRecordText(ev)});
    }
}

// The simulation's own mix, on its seeded registry and from a fixed seed, so every run floods
// the same records.
void CFloodGenerator::MakeVaried() {
    CSimRegistry registry;
    registry.LoadText(SimSeedText());
    CSimActivity activity(registry, 0x5EED);
    std::vector<SProcessInfo> arProcesses;
    for (size_t i = 0; i < VARIED_PROCESSES; ++i) {
        const std::string_view base = PROCESSES[i % PROCESSES.size()];
        arProcesses.push_back({uint32_t(2000 + 4 * i), i < PROCESSES.size()
                                                           ? std::string(base)
                                                           : "app" + std::to_string(i) + ".exe"});
    }
    std::mt19937_64 rng(0xF100D);
    std::vector<SDriverEvent> arEvents;
    while (m_arTemplates.size() < VARIED_RECORDS) {
        arEvents.clear();
        activity.RunSession(arProcesses[rng() % arProcesses.size()], arEvents);
        for (const SDriverEvent& ev : arEvents) {
            if (m_arTemplates.size() == VARIED_RECORDS)
                break;
            m_arTemplates.push_back({ev.m_nOperation, ev.Succeeded(), ev.m_strProcess, ev.m_strPath,
                                     FormatRecordText(ev)});
        }
    }
}

void CFloodGenerator::ApplyFilter(const CEventFilter& filter) {
    m_arPassing.clear();
    for (size_t i = 0; i < m_arTemplates.size(); ++i) {
        const STemplate& t = m_arTemplates[i];
        if (filter.Passes(t.m_nOperation, t.m_bSucceeded, t.m_strProcess, t.m_strPath))
            m_arPassing.push_back(i);
    }
    m_nNext = 0;
}

const std::string* CFloodGenerator::Peek() const {
    return m_arPassing.empty() ? nullptr : &m_arTemplates[m_arPassing[m_nNext]].m_strText;
}

void CFloodGenerator::Advance() {
    if (!m_arPassing.empty())
        m_nNext = (m_nNext + 1) % m_arPassing.size();
}
