#include "capture/StringInterner.h"

#include "platform/AnsiCodePage.h"

QString CStringInterner::Intern(std::string_view text) {
    if (text.size() > MAX_KEY_LENGTH)
        return AnsiToUtf16(text.data(), qsizetype(text.size()));
    uint32_t nHash = 2166136261u; // FNV-1a
    for (char c : text)
        nHash = (nHash ^ uint8_t(c)) * 16777619u;
    SSlot& slot = m_slots[nHash % SLOT_COUNT];
    if (!slot.m_bUsed || slot.m_strKey != text) {
        slot.m_strKey.assign(text);
        slot.m_strValue = AnsiToUtf16(text.data(), qsizetype(text.size()));
        slot.m_bUsed = true;
    }
    return slot.m_strValue;
}
