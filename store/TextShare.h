// Lets records read from a file share the storage of texts that repeat (process names, values).
#pragma once

#include <QString>

#include <array>

// A small direct-mapped cache: Share() returns an implicitly shared copy of an equal text seen
// recently, so a million loaded records of "explorer.exe" hold that text once.
class CTextShare {
public:
    void Share(QString& str);

private:
    static constexpr size_t SLOT_COUNT = 1024;
    static constexpr qsizetype MAX_LENGTH = 64;
    std::array<QString, SLOT_COUNT> m_slots;
};
