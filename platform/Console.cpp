#include "platform/Console.h"

#include <csignal>
#include <initializer_list>
#include <unistd.h>

namespace {

void SetHandler(int nSignal, void (*pfnHandler)(int)) {
    struct sigaction action {};
    action.sa_handler = pfnHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(nSignal, &action, nullptr);
}

} // namespace

bool PlatformStderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void PlatformOnInterrupt(void (*pfnHandler)(int)) {
    for (int nSignal : {SIGINT, SIGTERM, SIGHUP})
        SetHandler(nSignal, pfnHandler);
}

void PlatformIgnoreFileSizeSignal() {
    SetHandler(SIGXFSZ, SIG_IGN);
}
