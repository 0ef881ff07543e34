// Shares the UTF-16 text of repeated short narrow strings (process names, requests, results).
#pragma once

#include <QString>

#include <array>
#include <string>
#include <string_view>

// A small direct-mapped cache: a hit returns an implicitly shared copy, so a million records
// of "explorer.exe" hold one string, and the conversion runs once per distinct text.
class CStringInterner {
public:
    QString Intern(std::string_view text);

private:
    struct SSlot {
        std::string m_strKey;
        QString m_strValue;
        bool m_bUsed = false;
    };
    static constexpr size_t SLOT_COUNT = 512;
    static constexpr size_t MAX_KEY_LENGTH = 64;
    std::array<SSlot, SLOT_COUNT> m_slots;
};
