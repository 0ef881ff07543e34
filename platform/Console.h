// Terminal services for the command-line tools.
#pragma once

// True when standard error is a terminal (a live count is worth drawing there).
bool PlatformStderrIsTerminal();
// Calls pfnHandler (async-signal-safe code only) when the user interrupts (Ctrl-C), the
// terminal goes away (hang-up) or the process is asked to terminate.
void PlatformOnInterrupt(void (*pfnHandler)(int));
// A write beyond the file-size limit then fails with an error the program reports, instead
// of killing the process with the file-size signal.
void PlatformIgnoreFileSizeSignal();
