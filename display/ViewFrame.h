// What the event view asks of the main frame that holds it.
#pragma once

#include <QtGlobal>

class CHivewatchView;

class IViewFrame {
public:
    virtual ~IViewFrame() = default;
    // The view registers itself at its first update; the frame reaches the list through it.
    virtual void SetMainView(CHivewatchView* pView) = 0;
    // Shows the record of a display row in the details pane; returns 1.
    virtual int ShowRecordDetails(qint64 nRow) = 0;
};
