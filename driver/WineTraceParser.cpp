#include "driver/WineTraceParser.h"

#include "driver/AsciiText.h"
#include "driver/WineValueText.h"

#include <array>

namespace {

constexpr uint32_t CURRENT_PROCESS = 0xFFFFFFFF; // the pseudo handle of the calling process
constexpr uint32_t DUPLICATE_CLOSE_SOURCE = 1;
constexpr uint32_t TOKEN_USER_SID = 1;
constexpr std::string_view UNKNOWN_PROCESS = "wine";
constexpr std::string_view INSTALLER_IMAGE = "msiexec.exe";
constexpr std::string_view SERVICES_IMAGE = "services.exe";

struct SRootMap {
    std::string_view wine;
    std::string_view record;
};
// Longest first, so HKCR and HKCC win over HKLM.
constexpr std::array<SRootMap, 3> MACHINE_ROOTS = {{
    {"\\Registry\\Machine\\Software\\Classes", "HKCR"},
    {"\\Registry\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current", "HKCC"},
    {"\\Registry\\Machine", "HKLM"},
}};
constexpr std::string_view USER_ROOT = "\\Registry\\User";

// True when path starts with prefix (ignoring case) and the prefix ends a path component.
bool HasRoot(std::string_view path, std::string_view prefix) {
    return StartsNoCase(path, prefix) &&
           (path.size() == prefix.size() || path[prefix.size()] == '\\');
}

// The braces around a nested argument list ("{rootdir=0000,name=L\"x\"}") taken off.
std::string_view Inner(std::string_view text) {
    if (text.size() >= 2 && text.front() == '{' && text.back() == '}')
        return text.substr(1, text.size() - 2);
    return {};
}

std::string_view BaseName(std::string_view path) {
    const size_t n = path.find_last_of("\\/");
    return n == std::string_view::npos ? path : path.substr(n + 1);
}

std::string ValueName(std::string_view name) {
    return name.empty() ? std::string(DEFAULT_VALUE_NAME) : std::string(name);
}

bool Succeeded(std::string_view status) {
    return status == "0" || status == "OBJECT_NAME_EXISTS";
}

// Wine starts its own processes from the first program that needs them: wineboot.exe (which
// starts the services) and the desktop's explorer.exe. They serve the whole prefix, so they
// are not counted as the program's children.
bool IsWinesOwn(std::string_view image, std::string_view cmdline) {
    return EqualNoCase(image, "wineboot.exe") ||
           (EqualNoCase(image, "explorer.exe") &&
            cmdline.find("/desktop") != std::string_view::npos);
}

std::string ShadowText(const std::optional<SShadowValue>& pValue) {
    return pValue ? WineValueText(pValue->m_nType, pValue->m_data, pValue->m_bTruncated)
                  : std::string();
}

} // namespace

CWineTraceParser::CWineTraceParser(CWineShadowRegistry* pShadow) : m_pShadow(pShadow) {}

CWineTraceParser::ERequest CWineTraceParser::RequestOf(std::string_view name) {
    if (name.size() < 7)
        return REQ_NONE;
    switch (name[0]) {
    case 'c':
        if (name == "close_handle")
            return REQ_CLOSE_HANDLE;
        if (name == "create_key")
            return REQ_CREATE_KEY;
        if (name == "create_file")
            return REQ_CREATE_FILE;
        return REQ_NONE;
    case 'd':
        if (name == "delete_key")
            return REQ_DELETE_KEY;
        if (name == "delete_key_value")
            return REQ_DELETE_VALUE;
        if (name == "dup_handle")
            return REQ_DUP_HANDLE;
        return REQ_NONE;
    case 'e':
        if (name == "enum_key")
            return REQ_ENUM_KEY;
        if (name == "enum_key_value")
            return REQ_ENUM_VALUE;
        return REQ_NONE;
    case 'f':
        return name == "flush_key" ? REQ_FLUSH_KEY : REQ_NONE;
    case 'g':
        if (name == "get_key_value")
            return REQ_GET_VALUE;
        if (name == "get_token_sid")
            return REQ_GET_TOKEN_SID;
        return REQ_NONE;
    case 'i':
        if (name == "init_first_thread")
            return REQ_INIT_FIRST_THREAD;
        if (name == "init_process_done")
            return REQ_INIT_PROCESS_DONE;
        return REQ_NONE;
    case 'l':
        return name == "load_registry" ? REQ_LOAD : REQ_NONE;
    case 'n':
        if (name == "new_process")
            return REQ_NEW_PROCESS;
        if (name == "new_thread")
            return REQ_NEW_THREAD;
        return REQ_NONE;
    case 'o':
        return name == "open_key" ? REQ_OPEN_KEY : REQ_NONE;
    case 's':
        return name == "set_key_value" ? REQ_SET_VALUE : REQ_NONE;
    case 'u':
        return name == "unload_registry" ? REQ_UNLOAD : REQ_NONE;
    default:
        return REQ_NONE;
    }
}

bool CWineTraceParser::ParseLine(std::string_view line, std::vector<SDriverEvent>& arOut) {
    ++m_nLines;
    SWineTraceLine parsed;
    bool bOk = SplitWineTraceLine(line, parsed);
    if (bOk) {
        switch (parsed.m_eKind) {
        case SWineTraceLine::REQUEST:
            bOk = OnRequest(parsed);
            break;
        case SWineTraceLine::REPLY:
            bOk = OnReply(parsed, arOut);
            break;
        case SWineTraceLine::NOTICE:
            OnNotice(parsed, arOut);
            break;
        case SWineTraceLine::SERVER:
            if (parsed.m_args.starts_with("wineserver: starting"))
                m_dTraceSeconds = 0;
            break;
        }
    }
    if (!bOk)
        ++m_nSkipped;
    return bOk;
}

bool CWineTraceParser::OnRequest(const SWineTraceLine& line) {
    const ERequest eRequest = RequestOf(line.m_name);
    if (eRequest == REQ_NONE)
        return true;
    SPending& pending = m_pending[line.m_nId];
    pending.m_eRequest = eRequest;
    pending.m_strArgs.assign(line.m_args);
    return true;
}

bool CWineTraceParser::OnReply(const SWineTraceLine& line, std::vector<SDriverEvent>& arOut) {
    const ERequest eRequest = RequestOf(line.m_name);
    if (eRequest == REQ_NONE)
        return true;
    const auto it = m_pending.find(line.m_nId);
    if (it == m_pending.end() || it->second.m_eRequest != eRequest)
        return true; // the request came before the trace began
    it->second.m_eRequest = REQ_NONE;
    const std::string_view args = it->second.m_strArgs;
    if (eRequest >= REQ_DUP_HANDLE) {
        ReplyProcessRequest(eRequest, line.m_nId, args, line, arOut);
        return true;
    }
    return ReplyKeyRequest(eRequest, line.m_nId, args, line, arOut);
}

void CWineTraceParser::OnNotice(const SWineTraceLine& line, std::vector<SDriverEvent>& arOut) {
    if (line.m_name == "process killed") {
        if (const auto it = m_processes.find(line.m_nId); it != m_processes.end()) {
            if (!it->second.m_bNamed)
                Name(it->second, arOut); // ended before it had started: its best name
            m_processes.erase(it);
        }
    } else if (line.m_name == "killed") {
        m_pending.erase(line.m_nId);
        m_threads.erase(line.m_nId);
    }
}

void CWineTraceParser::ReplyProcessRequest(ERequest eRequest, uint32_t nThread,
                                           std::string_view args, const SWineTraceLine& reply,
                                           std::vector<SDriverEvent>& arOut) {
    if (eRequest == REQ_INIT_PROCESS_DONE) {
        // Started whatever the outcome: the program it runs is known by now.
        if (SProcess* pProcess = ProcessOfThread(nThread); pProcess && !pProcess->m_bNamed)
            Name(*pProcess, arOut);
        return;
    }
    if (reply.m_status != "0")
        return;
    const uint32_t nCaller = ProcessIdOfThread(nThread);
    switch (eRequest) {
    case REQ_NEW_PROCESS: {
        const auto nPid = WineTraceHex(WineTraceArg(reply.m_args, "pid").value_or(""));
        const auto nHandle = WineTraceHex(WineTraceArg(reply.m_args, "handle").value_or(""));
        if (!nPid || *nPid == nCaller)
            return;
        SProcess* pCaller = ProcessOfThread(nThread);
        SProcess& child = m_processes[*nPid] = SProcess();
        const auto image =
            WineTraceArg(Inner(WineTraceArg(args, "info").value_or("")), "imagepath");
        if (const auto path = image ? WineTraceString(*image) : std::nullopt)
            child.m_strImageName = std::string(BaseName(*path));
        child.m_bStartedByWine = true;
        // A program may name another parent for the process it starts; it is one of the
        // processes it holds a handle to.
        uint32_t nParent = nCaller;
        const auto nParentHandle = WineTraceHex(WineTraceArg(args, "parent_process").value_or("0"));
        if (pCaller && nParentHandle && *nParentHandle != 0 && *nParentHandle != CURRENT_PROCESS)
            if (const auto it = pCaller->m_children.find(*nParentHandle);
                it != pCaller->m_children.end())
                nParent = it->second;
        const auto itParent = m_processes.find(nParent);
        const SProcess* pParent = itParent == m_processes.end() ? nullptr : &itParent->second;
        child.m_bInstallerService = pParent && EqualNoCase(child.m_strImageName, INSTALLER_IMAGE) &&
                                    EqualNoCase(pParent->m_strName, SERVICES_IMAGE);
        const auto cmdline =
            WineTraceArg(Inner(WineTraceArg(args, "info").value_or("")), "cmdline");
        if (IsWinesOwn(child.m_strImageName,
                       cmdline ? WineTraceString(*cmdline).value_or("") : std::string())) {
            child.m_nParentPid = 0; // the prefix's start-up, not the program's work
        } else {
            child.m_nParentPid = nParent;
            child.m_nParentUnixPid = StartedFor(child, pParent);
        }
        if (!child.m_strImageName.empty())
            child.m_strName = child.m_strImageName, child.m_bNamed = true;
        if (nHandle && pCaller)
            pCaller->m_children[*nHandle] = *nPid;
        break;
    }
    case REQ_CREATE_FILE: {
        // A process started from outside Wine opens its program file before it has started;
        // the last one it opens is the program it runs.
        SProcess* pProcess = ProcessOfThread(nThread);
        if (!pProcess || pProcess->m_bNamed)
            return;
        const auto nameText =
            WineTraceArg(Inner(WineTraceArg(args, "objattr").value_or("")), "name");
        const auto path = nameText ? WineTraceString(*nameText) : std::nullopt;
        if (path && path->size() > 4 && EqualNoCase(path->substr(path->size() - 4), ".exe"))
            pProcess->m_strLastExe = std::string(BaseName(*path));
        break;
    }
    case REQ_NEW_THREAD: {
        const auto nTid = WineTraceHex(WineTraceArg(reply.m_args, "tid").value_or(""));
        const auto nTarget = WineTraceHex(WineTraceArg(args, "process").value_or(""));
        if (!nTid || !nTarget)
            return;
        if (*nTarget == CURRENT_PROCESS) {
            m_threads[*nTid] = nCaller;
        } else if (SProcess* pCaller = ProcessOfThread(nThread)) {
            if (auto itChild = pCaller->m_children.find(*nTarget);
                itChild != pCaller->m_children.end())
                m_threads[*nTid] = itChild->second;
        }
        break;
    }
    case REQ_INIT_FIRST_THREAD: {
        const auto nPid = WineTraceHex(WineTraceArg(reply.m_args, "pid").value_or(""));
        const auto nUnixPid = WineTraceInt(WineTraceArg(args, "unix_pid").value_or(""));
        if (!nPid)
            return;
        m_threads[nThread] = *nPid;
        SProcess& process = m_processes[*nPid];
        if (nUnixPid && *nUnixPid > 0) {
            if (process.m_nUnixPid != 0 && process.m_nUnixPid != uint32_t(*nUnixPid))
                process = SProcess(); // an old process's id, reused
            process.m_nUnixPid = uint32_t(*nUnixPid);
        }
        if (const auto start = WineTraceArg(reply.m_args, "server_start"))
            if (const auto dAgo = WineTraceSecondsAgo(*start))
                m_dTraceSeconds = *dAgo;
        OnStarted(*nPid, process);
        break;
    }
    case REQ_GET_TOKEN_SID: {
        const auto nWhich = WineTraceHex(WineTraceArg(args, "which_sid").value_or(""));
        const auto sid = WineTraceArg(reply.m_args, "sid");
        if (nWhich == TOKEN_USER_SID && sid && sid->starts_with("S-"))
            m_strUserSid = std::string(*sid);
        break;
    }
    case REQ_DUP_HANDLE: {
        SProcess* pCaller = ProcessOfThread(nThread);
        const auto nSrcProcess = WineTraceHex(WineTraceArg(args, "src_process").value_or(""));
        const auto nSrc = WineTraceHex(WineTraceArg(args, "src_handle").value_or(""));
        const auto nDstProcess = WineTraceHex(WineTraceArg(args, "dst_process").value_or(""));
        const auto nNew = WineTraceHex(WineTraceArg(reply.m_args, "handle").value_or(""));
        const auto nOptions = WineTraceHex(WineTraceArg(args, "options").value_or("0"));
        if (!pCaller || nSrcProcess != CURRENT_PROCESS || !nSrc || !nDstProcess || !nNew)
            return;
        const auto itKey = pCaller->m_keys.find(*nSrc);
        if (itKey == pCaller->m_keys.end())
            return;
        const std::string strPath = itKey->second;
        if (nOptions && (*nOptions & DUPLICATE_CLOSE_SOURCE))
            pCaller->m_keys.erase(itKey);
        if (*nDstProcess == CURRENT_PROCESS) {
            pCaller->m_keys[*nNew] = strPath;
        } else if (auto itChild = pCaller->m_children.find(*nDstProcess);
                   itChild != pCaller->m_children.end()) {
            m_processes[itChild->second].m_keys[*nNew] = strPath;
        }
        break;
    }
    default:
        break;
    }
}

bool CWineTraceParser::ReplyKeyRequest(ERequest eRequest, uint32_t nThread, std::string_view args,
                                       const SWineTraceLine& reply,
                                       std::vector<SDriverEvent>& arOut) {
    SProcess* pProcess = ProcessOfThread(nThread);
    const std::string_view status = reply.m_status;
    const bool bOk = Succeeded(status);
    const auto nReplyKey = WineTraceHex(WineTraceArg(reply.m_args, "hkey").value_or(""));
    switch (eRequest) {
    case REQ_OPEN_KEY:
    case REQ_CREATE_KEY: {
        const bool bCreate = eRequest == REQ_CREATE_KEY;
        const std::string_view where =
            bCreate ? Inner(WineTraceArg(args, "objattr").value_or("")) : args;
        const auto parent = WineTraceArg(where, bCreate ? "rootdir" : "parent");
        const auto nameText = WineTraceArg(where, "name");
        const auto name = nameText ? WineTraceString(*nameText) : std::nullopt;
        if (!parent || !name)
            return false;
        const std::string strPath = JoinPath(KeyPath(pProcess, *parent), *name);
        if (bOk && nReplyKey && pProcess)
            pProcess->m_keys[*nReplyKey] = strPath;
        if (bOk && bCreate && m_pShadow)
            m_pShadow->CreateKey(strPath);
        int nOperation = OP_OPEN_KEY;
        if (bCreate)
            nOperation = status == "0" ? OP_CREATE_NEW : OP_CREATE_OPEN;
        Emit(arOut, nThread, nOperation, strPath, status);
        return true;
    }
    case REQ_CLOSE_HANDLE: {
        const auto nHandle = WineTraceHex(WineTraceArg(args, "handle").value_or(""));
        if (!nHandle)
            return false;
        if (!pProcess)
            return true;
        const auto itKey = pProcess->m_keys.find(*nHandle);
        if (itKey == pProcess->m_keys.end()) {
            pProcess->m_children.erase(*nHandle);
            return true;
        }
        const std::string strPath = std::move(itKey->second);
        if (bOk)
            pProcess->m_keys.erase(itKey);
        Emit(arOut, nThread, OP_CLOSE_KEY, strPath, status);
        return true;
    }
    case REQ_LOAD: {
        const std::string_view where = Inner(WineTraceArg(args, "objattr").value_or(""));
        const auto parent = WineTraceArg(where, "rootdir");
        const auto nameText = WineTraceArg(where, "name");
        const auto name = nameText ? WineTraceString(*nameText) : std::nullopt;
        if (!parent || !name)
            return false;
        Emit(arOut, nThread, OP_LOAD_KEY, JoinPath(KeyPath(pProcess, *parent), *name), status);
        return true;
    }
    case REQ_UNLOAD: {
        std::string strPath;
        if (const auto hkey = WineTraceArg(args, "hkey")) {
            strPath = KeyPath(pProcess, *hkey);
        } else {
            const auto parent = WineTraceArg(args, "parent");
            const auto nameText = WineTraceArg(args, "name");
            const auto name = nameText ? WineTraceString(*nameText) : std::nullopt;
            if (!parent || !name)
                return false;
            strPath = JoinPath(KeyPath(pProcess, *parent), *name);
        }
        if (bOk && m_pShadow)
            m_pShadow->DeleteKey(strPath);
        Emit(arOut, nThread, OP_UNLOAD_KEY, strPath, status);
        return true;
    }
    default:
        break;
    }

    // The rest act on an open key.
    const auto hkey = WineTraceArg(args, "hkey");
    if (!hkey || !WineTraceHex(*hkey))
        return false;
    const std::string strKey = KeyPath(pProcess, *hkey);
    switch (eRequest) {
    case REQ_DELETE_KEY: {
        SDriverEvent& ev = Emit(arOut, nThread, OP_DELETE_KEY, strKey, status);
        // What the key held goes with the record, so a deleted key can be put back.
        if (bOk && m_pShadow) {
            ev.m_strOldValue = m_pShadow->ContentsText(strKey, MAX_FIELD_TEXT);
            m_pShadow->DeleteKey(strKey);
        }
        return true;
    }
    case REQ_FLUSH_KEY:
        Emit(arOut, nThread, OP_FLUSH_KEY, strKey, status);
        return true;
    case REQ_ENUM_KEY: {
        const auto nIndex = WineTraceInt(WineTraceArg(args, "index").value_or(""));
        if (!nIndex)
            return false;
        Emit(arOut, nThread, *nIndex < 0 ? OP_QUERY_KEY : OP_ENUM_KEY, strKey, status);
        return true;
    }
    case REQ_SET_VALUE: {
        const auto nameText = WineTraceArg(args, "name");
        const auto name = nameText ? WineTraceString(*nameText) : std::nullopt;
        const auto nType = WineTraceInt(WineTraceArg(args, "type").value_or(""));
        bool bCut = false;
        auto data = WineTraceBytes(WineTraceArg(args, "data").value_or(""), bCut);
        if (!name || !nType || !data)
            return false;
        SDriverEvent& ev =
            Emit(arOut, nThread, OP_SET_VALUE, JoinPath(strKey, ValueName(*name)), status);
        if (m_pShadow)
            ev.m_strOldValue = ShadowText(m_pShadow->FindValue(strKey, *name));
        ev.m_strNewValue = WineValueText(uint32_t(*nType), *data, bCut);
        if (bOk && m_pShadow)
            m_pShadow->SetValue(strKey, *name, {uint32_t(*nType), std::move(*data), bCut});
        return true;
    }
    case REQ_GET_VALUE:
    case REQ_ENUM_VALUE: {
        const bool bEnum = eRequest == REQ_ENUM_VALUE;
        const auto nameText = WineTraceArg(bEnum ? reply.m_args : args, "name");
        auto name = nameText ? WineTraceString(*nameText) : std::nullopt;
        if (!bEnum && !name)
            return false;
        std::string strPath = strKey;
        if (name && (!bEnum || bOk))
            strPath = JoinPath(strKey, ValueName(*name));
        SDriverEvent& ev =
            Emit(arOut, nThread, bEnum ? OP_ENUM_VALUE : OP_QUERY_VALUE, strPath, status);
        const auto nType = WineTraceInt(WineTraceArg(reply.m_args, "type").value_or(""));
        const auto nTotal = WineTraceInt(WineTraceArg(reply.m_args, "total").value_or(""));
        const auto dataText = WineTraceArg(reply.m_args, "data");
        bool bCut = false;
        auto data = dataText ? WineTraceBytes(*dataText, bCut) : std::nullopt;
        const auto nInfoClass = WineTraceInt(WineTraceArg(args, "info_class").value_or("1"));
        if (!bOk || !nType || *nType < 0 || !data || (bEnum && nInfoClass == 0))
            return true; // nothing was read, or only the name
        // A query's total is the data's length; an enumeration's counts the name it returned
        // too (namelen bytes, none for the partial form), which comes before the data.
        int64_t nNameBytes = 0;
        if (bEnum)
            nNameBytes =
                WineTraceInt(WineTraceArg(reply.m_args, "namelen").value_or("0")).value_or(0);
        bCut = bCut || (nTotal && *nTotal > nNameBytes + int64_t(data->size()));
        // A query shows the data it read as the old value, an enumeration as the new one.
        (bEnum ? ev.m_strNewValue : ev.m_strOldValue) =
            WineValueText(uint32_t(*nType), *data, bCut);
        if (m_pShadow && name && !bCut)
            m_pShadow->SetValue(strKey, *name, {uint32_t(*nType), std::move(*data), false});
        return true;
    }
    case REQ_DELETE_VALUE: {
        const auto nameText = WineTraceArg(args, "name");
        const auto name = nameText ? WineTraceString(*nameText) : std::nullopt;
        if (!name)
            return false;
        SDriverEvent& ev =
            Emit(arOut, nThread, OP_DELETE_VALUE, JoinPath(strKey, ValueName(*name)), status);
        if (m_pShadow) {
            ev.m_strOldValue = ShadowText(m_pShadow->FindValue(strKey, *name));
            if (bOk)
                m_pShadow->DeleteValue(strKey, *name);
        }
        return true;
    }
    default:
        return true;
    }
}

CWineTraceParser::SProcess* CWineTraceParser::ProcessOfThread(uint32_t nThread) {
    const auto it = m_threads.find(nThread);
    if (it == m_threads.end())
        return nullptr;
    return &m_processes[it->second];
}

uint32_t CWineTraceParser::ProcessIdOfThread(uint32_t nThread) const {
    const auto it = m_threads.find(nThread);
    return it == m_threads.end() ? 0 : it->second;
}

std::string CWineTraceParser::KeyPath(SProcess* pProcess, std::string_view handleText) const {
    const auto nHandle = WineTraceHex(handleText);
    if (!nHandle || *nHandle == 0)
        return {};
    if (pProcess)
        if (const auto it = pProcess->m_keys.find(*nHandle); it != pProcess->m_keys.end())
            return it->second;
    return "?";
}

std::string CWineTraceParser::JoinPath(std::string_view parent, std::string_view name) {
    if (parent.empty())
        return std::string(name);
    if (name.empty())
        return std::string(parent);
    std::string str;
    str.reserve(parent.size() + 1 + name.size());
    str += parent;
    str += '\\';
    str += name;
    return str;
}

// Events of a process that has not finished starting wait in the process until its name is
// known; every other event goes straight out.
SDriverEvent& CWineTraceParser::Emit(std::vector<SDriverEvent>& arOut, uint32_t nThread,
                                     int nOperation, std::string_view winePath,
                                     std::string_view status) {
    SProcess* pProcess = ProcessOfThread(nThread);
    if (pProcess && !pProcess->m_bNamed && pProcess->m_held.size() >= MAX_HELD_EVENTS)
        Name(*pProcess, arOut);
    const bool bHold = pProcess && !pProcess->m_bNamed;
    SDriverEvent& ev = bHold ? pProcess->m_held.emplace_back() : arOut.emplace_back();
    if (pProcess) {
        ev.m_nPid = pProcess->m_nUnixPid;
        ev.m_strProcess = pProcess->m_strName;
    } else {
        ev.m_strProcess = std::string(UNKNOWN_PROCESS);
    }
    ev.m_nOperation = nOperation;
    ev.m_strPath = RecordPath(winePath, m_strUserSid);
    ev.m_strResult = ResultText(status);
    ev.m_nFileTime = m_fnClock ? m_fnClock() : CurrentFileTime();
    return ev;
}

std::string CWineTraceParser::BestName(const SProcess& process) const {
    if (!process.m_strImageName.empty())
        return process.m_strImageName;
    if (!process.m_strLastExe.empty())
        return process.m_strLastExe;
    if (m_fnNamer && process.m_nUnixPid)
        if (std::string str = m_fnNamer(process.m_nUnixPid); !str.empty())
            return str;
    return std::string(UNKNOWN_PROCESS);
}

void CWineTraceParser::Name(SProcess& process, std::vector<SDriverEvent>& arOut) {
    process.m_strName = BestName(process);
    process.m_bNamed = true;
    for (SDriverEvent& ev : process.m_held) {
        ev.m_strProcess = process.m_strName;
        arOut.push_back(std::move(ev));
    }
    process.m_held.clear();
    process.m_held.shrink_to_fit();
    if (!process.m_bStartedByWine && EqualNoCase(process.m_strName, INSTALLER_IMAGE))
        m_nInstallerUnixPid = process.m_nUnixPid;
}

// An installer hands its work to the installer service (msiexec.exe started by services.exe),
// which works for the installer that asked: the last one a program started.
uint32_t CWineTraceParser::StartedFor(const SProcess& process, const SProcess* pCaller) const {
    if (!pCaller)
        return 0;
    if (process.m_bInstallerService && m_nInstallerUnixPid)
        return m_nInstallerUnixPid;
    return pCaller->m_nUnixPid;
}

void CWineTraceParser::OnStarted(uint32_t nPid, SProcess& process) {
    // Processes this one started before it had a Linux ID now learn it, in case it ends
    // before they start.
    for (auto& [nOther, other] : m_processes)
        if (other.m_nParentPid == nPid && other.m_nParentUnixPid == 0 && nOther != nPid)
            other.m_nParentUnixPid = process.m_nUnixPid;
    if (process.m_bStartedByWine && !process.m_bInstallerService &&
        EqualNoCase(process.m_strImageName, INSTALLER_IMAGE))
        m_nInstallerUnixPid = process.m_nUnixPid;
    if (m_fnStarted && process.m_nUnixPid)
        m_fnStarted(process.m_nUnixPid, process.m_nParentUnixPid);
}

std::string CWineTraceParser::RecordPath(std::string_view winePath, std::string_view userSid) {
    for (const SRootMap& root : MACHINE_ROOTS)
        if (HasRoot(winePath, root.wine))
            return std::string(root.record) + std::string(winePath.substr(root.wine.size()));
    if (!HasRoot(winePath, USER_ROOT))
        return std::string(winePath);
    std::string_view rest = winePath.substr(USER_ROOT.size());
    if (rest.empty())
        return "HKU";
    rest.remove_prefix(1);
    const std::string_view sid = rest.substr(0, rest.find('\\'));
    if (!userSid.empty() && EqualNoCase(sid, userSid))
        return "HKCU" + std::string(rest.substr(sid.size()));
    return "HKU\\" + std::string(rest);
}

std::string CWineTraceParser::ResultText(std::string_view status) {
    if (status == "0" || status == "OBJECT_NAME_EXISTS")
        return std::string(RESULT_SUCCESS);
    if (WineTraceHex(status) && status.size() == 8) {
        std::string str = "0x";
        for (char c : status)
            str.push_back(c >= 'a' && c <= 'f' ? char(c - 'a' + 'A') : c);
        return str;
    }
    if (status.starts_with("OBJECT_"))
        status.remove_prefix(7);
    std::string str(status);
    for (char& c : str)
        if (c == '_')
            c = ' ';
    return str;
}
