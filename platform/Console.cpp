#include "platform/Console.h"

#include <csignal>
#include <unistd.h>

bool PlatformStderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void PlatformOnInterrupt(void (*pfnHandler)(int)) {
    std::signal(SIGINT, pfnHandler);
    std::signal(SIGTERM, pfnHandler);
}
