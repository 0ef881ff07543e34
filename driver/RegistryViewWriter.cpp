#include "driver/RegistryViewWriter.h"

#include "driver/EventSource.h"

#include <array>

namespace {

struct SHiveFile {
    unsigned m_nHive;
    const char* m_pszFile;
};
constexpr std::array<SHiveFile, 4> HIVE_FILES = {{
    {CWineShadowRegistry::HIVE_SYSTEM, "system.reg"},
    {CWineShadowRegistry::HIVE_USER, "user.reg"},
    {CWineShadowRegistry::HIVE_USERDEF, "userdef.reg"},
    {CWineShadowRegistry::HIVE_USERS, "users.reg"},
}};
constexpr unsigned ALL_HIVES = 15;

} // namespace

CRegistryViewWriter::CRegistryViewWriter(std::string strDir, std::chrono::milliseconds interval)
    : m_strDir(std::move(strDir)), m_interval(interval) {}

void CRegistryViewWriter::Tick(CWineShadowRegistry& shadow, CEventSink& sink,
                               Clock::time_point tmNow) {
    if (m_strDir.empty() || (m_bWrittenOnce && tmNow - m_tmWritten < m_interval))
        return;
    Flush(shadow, sink);
    m_tmWritten = tmNow;
}

void CRegistryViewWriter::Flush(CWineShadowRegistry& shadow, CEventSink& sink) {
    if (m_strDir.empty())
        return;
    unsigned nHives = shadow.TakeChangedHives() | m_nPending;
    if (!m_bWrittenOnce)
        nHives = ALL_HIVES;
    m_bWrittenOnce = true;
    m_nPending = 0;
    if (nHives == 0)
        return;
    QStringList arErrors;
    const QString strDir = QString::fromStdString(m_strDir);
    for (const SHiveFile& hive : HIVE_FILES) {
        if (!(nHives & hive.m_nHive))
            continue;
        if (shadow.Registry().SaveHive(strDir, QString::fromLatin1(hive.m_pszFile), arErrors))
            ++m_nWrites;
        else
            m_nPending |= hive.m_nHive;
    }
    const std::string strError = arErrors.join(QStringLiteral("; ")).toStdString();
    if (!strError.empty() && strError != m_strLastError)
        sink.Tell("the registry view for the registry editor cannot be saved: " + strError);
    m_strLastError = strError;
}
