// Live registry activity of a Wine prefix: runs the prefix's Wine server with its request trace
// on a pipe while the driver is loaded, and turns the trace into events.
#pragma once

#include "driver/EventSource.h"
#include "driver/RegistryViewWriter.h"
#include "driver/WineServerProcess.h"
#include "driver/WineShadowRegistry.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

// The server serves the prefix from load to unload, whether reporting is on or off, so programs
// keep running when a capture stops; the shadow registry follows every change all along, and
// its registry files (the view the registry editor shows) are kept current in strViewDir.
// Switching reporting on after the server has ended (someone ran `wineserver -k`) starts a new
// one. Unloading leaves the prefix's programs running (see CWineServerProcess).
class CWineServerSource : public CEventSource {
public:
    CWineServerSource(std::string strPrefix, std::string strViewDir = {});
    ~CWineServerSource() override;

    // Checks that Wine is installed and the prefix is one, loads the shadow registry from the
    // prefix's files and starts the traced server. False with a reason that says what to do.
    bool Start(std::string& strError);
    void Run(std::stop_token stop, CEventSink& sink) override;
    // On: a new server is started when ours has ended; false with the reason when it cannot be.
    bool OnReportingChanged(bool bOn, std::string& strError) override;

    const std::string& Prefix() const { return m_strPrefix; }
    // The folder of the registry view for strPrefix inside strRegistryDir (the driver's folder
    // for registry files): <strRegistryDir>/wine/<name of the prefix>.
    static std::string ViewFolder(const std::string& strRegistryDir, const std::string& strPrefix);

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
    std::string m_strViewDir;
    std::string m_strServer;
    std::string m_strLoader;
    std::mutex m_mutex;
    std::condition_variable_any m_cvSession;
    std::shared_ptr<SSession> m_pSession;
};
