// Terminal services for the command-line tools.
#pragma once

// True when standard error is a terminal (a live count is worth drawing there).
bool PlatformStderrIsTerminal();
// Calls pfnHandler (async-signal-safe code only) when the user interrupts (Ctrl-C) or the
// process is asked to terminate.
void PlatformOnInterrupt(void (*pfnHandler)(int));
