// The details pane's text for one record: its fields as labelled lines, then its operation's.
#pragma once

#include <QString>

class CRegInfoObj;

// Lines begin with one blank and end with "\r\n"; the operation part follows the path line
// directly (a read value, the old and new value of a set, "Open Existing Key", ...).
QString BuildDetailsText(const CRegInfoObj& record);
