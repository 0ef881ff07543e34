// Filling a document with many records for the window benchmarks: a few dozen different
// records repeated, as a long capture of a busy machine looks.
#pragma once

class CHivewatchDoc;

// Appends records with sequence numbers nFirst + 1 .. nFirst + nCount, every operation code
// and a 70-character path among them.
void AppendSampleRecords(CHivewatchDoc& doc, long long nFirst, long long nCount);
