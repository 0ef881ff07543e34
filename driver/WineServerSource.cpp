#include "driver/WineServerSource.h"

#include "driver/LineSplitter.h"
#include "driver/WineShadowLoader.h"
#include "driver/WineTraceParser.h"
#include "platform/WineEnvironment.h"
#include "platform/WinePrograms.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

constexpr int POLL_MS = 100;

bool IsDirectory(const std::string& strPath) {
    struct stat st {};
    return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& strPath) {
    struct stat st {};
    return stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

CWineServerSource::CWineServerSource(std::string strPrefix, std::string strViewDir)
    : m_strPrefix(std::move(strPrefix)), m_strViewDir(std::move(strViewDir)) {
    while (m_strPrefix.size() > 1 && m_strPrefix.back() == '/')
        m_strPrefix.pop_back();
}

CWineServerSource::~CWineServerSource() = default; // the session lets its server go

std::string CWineServerSource::ViewFolder(const std::string& strRegistryDir,
                                          const std::string& strPrefix) {
    if (strRegistryDir.empty())
        return {};
    return strRegistryDir + "/wine/" + WineViewName(strPrefix);
}

bool CWineServerSource::Start(std::string& strError) {
    m_strServer = WineFindProgram("wineserver");
    m_strLoader = WineFindProgram("wine");
    if (m_strServer.empty()) {
        strError = "Wine is not installed: no wineserver was found in PATH or /usr/lib/wine "
                   "(on Debian: apt-get install wine64)";
        return false;
    }
    if (m_strPrefix.empty() || m_strPrefix.front() != '/') {
        strError = "the Wine prefix must be an absolute path, not \"" + m_strPrefix + "\"";
        return false;
    }
    const std::string strMake = "create it with: WINEPREFIX=\"" + m_strPrefix + "\" wineboot -i";
    if (!IsDirectory(m_strPrefix)) {
        strError = "the Wine prefix " + m_strPrefix + " does not exist; " + strMake;
        return false;
    }
    if (!IsFile(m_strPrefix + "/system.reg")) {
        strError = m_strPrefix + " is not a Wine prefix (it has no system.reg); name another " +
                   "prefix, or " + strMake;
        return false;
    }
    std::lock_guard lock(m_mutex);
    return StartSession(strError);
}

bool CWineServerSource::StartSession(std::string& strError) {
    auto pSession = std::make_shared<SSession>();
    std::vector<std::string> arErrors;
    // Read before the server starts, so no program changes the files under the reader.
    // A damaged file costs old values only, never the capture.
    if (!LoadWineShadow(m_strPrefix, pSession->m_shadow, pSession->m_strUserSid, arErrors))
        for (const std::string& strWhy : arErrors)
            std::fprintf(stderr, "RegDrv: old values incomplete: %s\n", strWhy.c_str());
    if (!pSession->m_server.Start(m_strServer, m_strLoader, m_strPrefix, strError))
        return false;
    m_pSession = std::move(pSession);
    m_cvSession.notify_all();
    return true;
}

bool CWineServerSource::OnReportingChanged(bool bOn, std::string& strError) {
    std::lock_guard lock(m_mutex);
    if (!bOn || (m_pSession && m_pSession->m_server.IsRunning()))
        return true;
    return StartSession(strError);
}

void CWineServerSource::Run(std::stop_token stop, CEventSink& sink) {
    std::shared_ptr<SSession> pSession;
    while (!stop.stop_requested()) {
        {
            std::unique_lock lock(m_mutex);
            m_cvSession.wait_for(lock, stop, std::chrono::milliseconds(POLL_MS),
                                 [&] { return m_pSession != pSession; });
            if (stop.stop_requested())
                break;
            if (m_pSession == pSession)
                continue; // the session's trace has ended; wait for the next one
            pSession = m_pSession;
        }
        ReadSession(stop, *pSession, sink);
    }
}

// Reads one server's trace until it ends (the pipe closes) or the source stops, keeping the
// registry view current as it goes.
void CWineServerSource::ReadSession(std::stop_token stop, SSession& session, CEventSink& sink) {
    CWineTraceParser parser(&session.m_shadow);
    if (!session.m_strUserSid.empty())
        parser.SetUserSid(session.m_strUserSid);
    // The trace names processes; a process it does not name is asked for as a last resort.
    parser.SetProcessNamer([](uint32_t nPid) { return WineProcessImageName(nPid); });
    parser.SetStartListener(
        [&sink](uint32_t nPid, uint32_t nParent) { sink.ProcessStarted(nPid, nParent); });
    CRegistryViewWriter view(m_strViewDir);
    const uint32_t nKeeper = uint32_t(session.m_server.KeeperPid());
    CLineSplitter splitter;
    std::vector<SDriverEvent> arEvents;
    uint64_t nTooLong = 0, nReported = 0;
    const auto onLine = [&](std::string_view line, bool bTooLong) {
        if (bTooLong) {
            ++nTooLong;
            return;
        }
        arEvents.clear();
        parser.ParseLine(line, arEvents);
        for (SDriverEvent& ev : arEvents)
            if (nKeeper == 0 || ev.m_nPid != nKeeper) // the keeper's own start-up is ours
                sink.Post(std::move(ev));
    };
    const auto reportSkipped = [&] {
        const uint64_t nSkipped = parser.SkippedLines() + nTooLong;
        if (nSkipped > nReported)
            sink.PostSkippedLines(nSkipped - nReported);
        nReported = nSkipped;
    };
    splitter.Feed(session.m_server.TakeStartText(), onLine);
    view.Flush(session.m_shadow, sink); // the editor sees the prefix before any capture
    std::vector<char> buf(size_t(1) << 16);
    const int fd = session.m_server.TraceFd();
    while (!stop.stop_requested()) {
        view.Tick(session.m_shadow, sink, CRegistryViewWriter::Clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, POLL_MS) <= 0)
            continue;
        const ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            break; // the server has exited
        splitter.Feed(std::string_view(buf.data(), size_t(n)), onLine);
        reportSkipped();
    }
    splitter.Finish(onLine);
    reportSkipped();
    view.Flush(session.m_shadow, sink);
}
