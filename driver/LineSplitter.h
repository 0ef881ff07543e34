// Cuts a byte stream into lines with bounded memory: an overlong line is reported once, empty.
#pragma once

#include <string>
#include <string_view>

class CLineSplitter {
public:
    static constexpr size_t MAX_LINE = size_t(1) << 20;

    // Calls onLine(line, bTooLong) for every line the bytes complete (without the '\n').
    template <class F> void Feed(std::string_view bytes, F&& onLine) {
        while (!bytes.empty()) {
            const size_t nEol = bytes.find('\n');
            const std::string_view part = bytes.substr(0, nEol);
            if (nEol == std::string_view::npos) {
                Keep(part);
                return;
            }
            bytes.remove_prefix(nEol + 1);
            if (m_bTooLong) {
                onLine(std::string_view(), true);
            } else if (m_strPartial.empty()) {
                onLine(part, false);
            } else {
                Keep(part);
                onLine(std::string_view(m_strPartial), m_bTooLong);
            }
            m_strPartial.clear();
            m_bTooLong = false;
        }
    }
    // The last line when the stream ended without a line end.
    template <class F> void Finish(F&& onLine) {
        if (!m_strPartial.empty() || m_bTooLong)
            onLine(std::string_view(m_strPartial), m_bTooLong);
        m_strPartial.clear();
        m_bTooLong = false;
    }

private:
    void Keep(std::string_view part) {
        if (m_bTooLong || m_strPartial.size() + part.size() > MAX_LINE) {
            m_bTooLong = true;
            m_strPartial.clear();
            m_strPartial.shrink_to_fit();
            return;
        }
        m_strPartial += part;
    }

    std::string m_strPartial;
    bool m_bTooLong = false;
};
