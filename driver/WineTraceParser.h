// Turns the lines of a Wine server trace (wineserver -d1) into registry events: follows
// threads to processes and, per process, key handles to paths, maps the server's requests to
// the record operations and keeps the shadow registry current for old values.
#pragma once

#include "driver/DriverEvent.h"
#include "driver/WineShadowRegistry.h"
#include "driver/WineTraceLine.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CWineTraceParser {
public:
    // Wine's SID of the prefix's user when nothing else tells (the same on every prefix).
    static constexpr std::string_view DEFAULT_USER_SID = "S-1-5-21-0-0-0-1000";

    explicit CWineTraceParser(CWineShadowRegistry* pShadow = nullptr);

    // Reads one line (without its line end) and appends the events it completes. False when
    // the line has no shape this parser knows or a registry request in it cannot be read;
    // such lines are counted and otherwise ignored.
    bool ParseLine(std::string_view line, std::vector<SDriverEvent>& arOut);
    uint64_t SkippedLines() const { return m_nSkipped; }
    uint64_t LinesRead() const { return m_nLines; }

    // Live tracing: names a running process by its Linux process ID (empty when it cannot),
    // for a process the trace does not name itself.
    void SetProcessNamer(std::function<std::string(uint32_t)> fnNamer) {
        m_fnNamer = std::move(fnNamer);
    }
    // Told of every process start, by Linux process IDs: nPid was started by nParent (0 for a
    // process started from outside Wine, a Unix shell say), as the server's own links say.
    void SetStartListener(std::function<void(uint32_t nPid, uint32_t nParent)> fnStarted) {
        m_fnStarted = std::move(fnStarted);
    }
    // The time events are stamped with (file time); the current time unless set.
    void SetClock(std::function<uint64_t()> fnClock) { m_fnClock = std::move(fnClock); }
    void SetUserSid(std::string strSid) { m_strUserSid = std::move(strSid); }
    const std::string& UserSid() const { return m_strUserSid; }
    // Seconds since the server started, as the last process start-up in the trace told;
    // negative until one did. Replays pace themselves by it.
    double TraceSeconds() const { return m_dTraceSeconds; }

    // "\Registry\Machine\Software\Classes\x" -> "HKCR\x"; the root abbreviations of the
    // records. A path under none of Wine's roots is returned as it is.
    static std::string RecordPath(std::string_view winePath, std::string_view userSid);
    // "OBJECT_NAME_NOT_FOUND" -> "NAME NOT FOUND", "0" -> "SUCCESS", "c0000034" -> "0xC0000034".
    static std::string ResultText(std::string_view status);

private:
    enum ERequest {
        REQ_NONE,
        REQ_OPEN_KEY,
        REQ_CREATE_KEY,
        REQ_DELETE_KEY,
        REQ_FLUSH_KEY,
        REQ_ENUM_KEY,
        REQ_SET_VALUE,
        REQ_GET_VALUE,
        REQ_ENUM_VALUE,
        REQ_DELETE_VALUE,
        REQ_LOAD,
        REQ_UNLOAD,
        REQ_CLOSE_HANDLE,
        REQ_DUP_HANDLE,
        REQ_NEW_PROCESS,
        REQ_NEW_THREAD,
        REQ_INIT_FIRST_THREAD,
        REQ_GET_TOKEN_SID,
        REQ_CREATE_FILE,
        REQ_INIT_PROCESS_DONE,
    };
    // A process's events wait for its name at most this many; then they go with the best
    // name known so far.
    static constexpr size_t MAX_HELD_EVENTS = 4096;
    struct SProcess {
        uint32_t m_nUnixPid = 0;
        uint32_t m_nParentPid = 0;     // the process that started it (Wine's ID), 0: none
        uint32_t m_nParentUnixPid = 0; // the same by Linux ID, once the parent has one
        // The image its parent started (new_process), or for a process started from outside
        // Wine the last program file it opened before it finished starting.
        std::string m_strImageName;
        std::string m_strLastExe;
        std::string m_strName; // the name records carry, fixed once known
        bool m_bStartedByWine = false;
        bool m_bInstallerService = false; // an installer started by services.exe
        bool m_bNamed = false;
        std::vector<SDriverEvent> m_held;                  // events waiting for the name
        std::unordered_map<uint32_t, std::string> m_keys;  // handle -> Wine key path
        std::unordered_map<uint32_t, uint32_t> m_children; // process handle -> process id
    };
    struct SPending {
        ERequest m_eRequest = REQ_NONE;
        std::string m_strArgs;
    };

    static ERequest RequestOf(std::string_view name);
    bool OnRequest(const SWineTraceLine& line);
    bool OnReply(const SWineTraceLine& line, std::vector<SDriverEvent>& arOut);
    void OnNotice(const SWineTraceLine& line, std::vector<SDriverEvent>& arOut);

    bool ReplyKeyRequest(ERequest eRequest, uint32_t nThread, std::string_view args,
                         const SWineTraceLine& reply, std::vector<SDriverEvent>& arOut);
    void ReplyProcessRequest(ERequest eRequest, uint32_t nThread, std::string_view args,
                             const SWineTraceLine& reply, std::vector<SDriverEvent>& arOut);

    SProcess* ProcessOfThread(uint32_t nThread);
    uint32_t ProcessIdOfThread(uint32_t nThread) const;
    // The Wine path a handle stands for; "?" for a handle the trace never named.
    std::string KeyPath(SProcess* pProcess, std::string_view handleText) const;
    static std::string JoinPath(std::string_view parent, std::string_view name);
    SDriverEvent& Emit(std::vector<SDriverEvent>& arOut, uint32_t nThread, int nOperation,
                       std::string_view winePath, std::string_view status);
    // Fixes the process's name and releases the events that waited for it.
    void Name(SProcess& process, std::vector<SDriverEvent>& arOut);
    std::string BestName(const SProcess& process) const;
    // The process an installer's service process works for (see OnStarted).
    uint32_t StartedFor(const SProcess& process, const SProcess* pCaller) const;
    void OnStarted(uint32_t nPid, SProcess& process);

    CWineShadowRegistry* m_pShadow;
    std::function<std::string(uint32_t)> m_fnNamer;
    std::function<void(uint32_t, uint32_t)> m_fnStarted;
    std::function<uint64_t()> m_fnClock;
    uint32_t m_nInstallerUnixPid = 0; // the last installer (msiexec) started by a program
    std::string m_strUserSid{DEFAULT_USER_SID};
    std::unordered_map<uint32_t, uint32_t> m_threads; // thread id -> process id
    std::unordered_map<uint32_t, SProcess> m_processes;
    std::unordered_map<uint32_t, SPending> m_pending; // thread id -> request awaiting reply
    uint64_t m_nSkipped = 0;
    uint64_t m_nLines = 0;
    double m_dTraceSeconds = -1;
};
