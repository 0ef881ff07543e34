// Live registry activity of a Wine prefix: runs the prefix's Wine server with its request trace
// on a pipe while the driver is loaded and capturing, and turns the trace into events.
#pragma once

#include "driver/EventSource.h"
#include "driver/WineServerProcess.h"
#include "driver/WineShadowRegistry.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

class CWineServerSource : public CEventSource {
public:
    explicit CWineServerSource(std::string strPrefix);
    ~CWineServerSource() override;

    // Checks that Wine is installed and the prefix exists, loads the shadow registry from the
    // prefix's files and starts the traced server. False with a reason that says what to do.
    bool Start(std::string& strError);
    void Run(std::stop_token stop, CEventSink& sink) override;
    // Off: the server is ended cleanly (Wine saves the registry, its programs end). On: a new
    // server is started when ours has ended; false with the reason when it cannot be.
    bool OnReportingChanged(bool bOn, std::string& strError) override;

    const std::string& Prefix() const { return m_strPrefix; }

private:
    // One run of the server, with the registry as it stood when it started.
    struct SSession {
        CWineServerProcess m_server;
        CWineShadowRegistry m_shadow;
        std::string m_strUserSid;
    };
    bool StartSession(std::string& strError); // holds m_mutex
    void ReadSession(std::stop_token stop, SSession& session, CEventSink& sink);

    std::string m_strPrefix;
    std::string m_strServer;
    std::mutex m_mutex;
    std::condition_variable_any m_cvSession;
    std::shared_ptr<SSession> m_pSession;
};
