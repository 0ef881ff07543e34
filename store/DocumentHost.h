// What the document asks of the window that shows it; every call is optional.
#pragma once

class IDocumentHost {
public:
    virtual ~IDocumentHost() = default;
    // Switch the capture off in the driver (only when it is on).
    virtual void SwitchCaptureOff() = 0;
    // Empty the event list control (no items, item count 0).
    virtual void ClearListControl() = 0;
    // True once the view and its event list exist.
    virtual bool HasListView() const = 0;
    // Show the document's current record count in the event list.
    virtual void RefreshItemCount() = 0;
};
