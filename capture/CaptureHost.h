// What the capture engine asks of the window; the headless tool provides its own.
#pragma once

class ICaptureHost {
public:
    virtual ~ICaptureHost() = default;
    // After every read that returned data: show the new record count (the caller then sets
    // the document's modified flag). Called on the capture thread; must not block on it.
    virtual void RefreshList() = 0;
    // The capture thread has left its loop (the second close request).
    virtual void PostCloseNotice() = 0;
};
