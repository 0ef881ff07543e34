#include "driver/WineServerSource.h"

#include "driver/LineSplitter.h"
#include "driver/WineShadowLoader.h"
#include "driver/WineTraceParser.h"
#include "platform/WineEnvironment.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

constexpr int POLL_MS = 100;
constexpr auto SERVER_END_WAIT = std::chrono::seconds(10);

bool IsDirectory(const std::string& strPath) {
    struct stat st {};
    return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

CWineServerSource::CWineServerSource(std::string strPrefix) : m_strPrefix(std::move(strPrefix)) {
    while (m_strPrefix.size() > 1 && m_strPrefix.back() == '/')
        m_strPrefix.pop_back();
}

CWineServerSource::~CWineServerSource() {
    std::lock_guard lock(m_mutex);
    if (m_pSession)
        m_pSession->m_server.RequestEnd();
    // The session (and with it the wait for the server's end) goes with its last owner.
}

bool CWineServerSource::Start(std::string& strError) {
    m_strServer = WineFindProgram("wineserver");
    if (m_strServer.empty()) {
        strError = "Wine is not installed: no wineserver was found in PATH or /usr/lib/wine "
                   "(on Debian: apt-get install wine64)";
        return false;
    }
    if (m_strPrefix.empty() || m_strPrefix.front() != '/') {
        strError = "the Wine prefix must be an absolute path, not \"" + m_strPrefix + "\"";
        return false;
    }
    if (!IsDirectory(m_strPrefix)) {
        strError = "the Wine prefix " + m_strPrefix +
                   " does not exist; create it with: WINEPREFIX=\"" + m_strPrefix +
                   "\" wineboot -i";
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
    if (!pSession->m_server.Start(m_strServer, m_strPrefix, strError))
        return false;
    m_pSession = std::move(pSession);
    m_cvSession.notify_all();
    return true;
}

bool CWineServerSource::OnReportingChanged(bool bOn, std::string& strError) {
    std::lock_guard lock(m_mutex);
    if (!bOn) {
        if (m_pSession)
            m_pSession->m_server.RequestEnd();
        return true;
    }
    if (m_pSession && m_pSession->m_server.IsRunning() && !m_pSession->m_server.EndRequested())
        return true;
    if (m_pSession)
        m_pSession->m_server.WaitEnded(SERVER_END_WAIT); // two servers cannot share a prefix
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
    std::lock_guard lock(m_mutex);
    if (pSession)
        pSession->m_server.RequestEnd();
}

// Reads one server's trace until it ends (the pipe closes) or the source stops.
void CWineServerSource::ReadSession(std::stop_token stop, SSession& session, CEventSink& sink) {
    CWineTraceParser parser(&session.m_shadow);
    if (!session.m_strUserSid.empty())
        parser.SetUserSid(session.m_strUserSid);
    parser.SetProcessNamer([](uint32_t nPid) { return WineProcessImageName(nPid); });
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
        for (SDriverEvent& ev : arEvents) {
            ev.m_nFileTime = CurrentFileTime(); // stamped as its line is read
            sink.Post(std::move(ev));
        }
    };
    const auto reportSkipped = [&] {
        const uint64_t nSkipped = parser.SkippedLines() + nTooLong;
        if (nSkipped > nReported)
            sink.PostSkippedLines(nSkipped - nReported);
        nReported = nSkipped;
    };
    splitter.Feed(session.m_server.TakeStartText(), onLine);
    std::vector<char> buf(size_t(1) << 16);
    const int fd = session.m_server.TraceFd();
    while (!stop.stop_requested()) {
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
}
