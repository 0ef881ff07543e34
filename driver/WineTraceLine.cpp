#include "driver/WineTraceLine.h"

#include "utils/HexDigit.h"

#include <cstdlib>

namespace {

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || (c >= 'A' && c <= 'Z');
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

void AppendUtf8(std::string& str, uint32_t c) {
    if (c < 0x80) {
        str.push_back(char(c));
    } else if (c < 0x800) {
        str.push_back(char(0xC0 | (c >> 6)));
        str.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        str.push_back(char(0xE0 | (c >> 12)));
        str.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        str.push_back(char(0x80 | (c & 0x3F)));
    } else {
        str.push_back(char(0xF0 | (c >> 18)));
        str.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        str.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        str.push_back(char(0x80 | (c & 0x3F)));
    }
}

// Joins UTF-16 code units into UTF-8; a surrogate without its partner becomes U+FFFD.
class CUtf16Sink {
public:
    explicit CUtf16Sink(std::string& str) : m_str(str) {}
    void Put(uint32_t nUnit) {
        if (m_nHigh) {
            const uint32_t nHigh = m_nHigh;
            m_nHigh = 0;
            if (nUnit >= 0xDC00 && nUnit <= 0xDFFF) {
                AppendUtf8(m_str, 0x10000 + ((nHigh - 0xD800) << 10) + (nUnit - 0xDC00));
                return;
            }
            AppendUtf8(m_str, 0xFFFD);
        }
        if (nUnit >= 0xD800 && nUnit <= 0xDBFF)
            m_nHigh = nUnit;
        else
            AppendUtf8(m_str, (nUnit >= 0xDC00 && nUnit <= 0xDFFF) ? 0xFFFD : nUnit);
    }
    void Finish() {
        if (m_nHigh)
            AppendUtf8(m_str, 0xFFFD);
        m_nHigh = 0;
    }

private:
    std::string& m_str;
    uint32_t m_nHigh = 0;
};

char ControlEscape(char c) {
    switch (c) {
    case '0':
        return '\0';
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 't':
        return '\t';
    case 'n':
        return '\n';
    case 'v':
        return '\v';
    case 'f':
        return '\f';
    case 'r':
        return '\r';
    case 'e':
        return '\x1b';
    default:
        return c; // "\\" and "\"" stand for themselves
    }
}

} // namespace

bool SplitWineTraceLine(std::string_view line, SWineTraceLine& out) {
    line = TrimSpaces(line);
    size_t i = 0;
    uint32_t nId = 0;
    while (i < line.size() && i < 9 && HexDigit(line[i]) >= 0 &&
           !(line[i] >= 'A' && line[i] <= 'F'))
        nId = nId * 16 + uint32_t(HexDigit(line[i++]));
    if (i < 4 || i > 8 || line.substr(i, 2) != ": ") {
        out = {};
        out.m_eKind = SWineTraceLine::SERVER;
        out.m_args = line;
        return line.starts_with("wineserver: ") || line.starts_with("sock_init: ");
    }
    out.m_nId = nId;
    std::string_view rest = line.substr(i + 2);
    if (rest.starts_with('*')) {
        const size_t nEnd = rest.find('*', 1);
        if (nEnd == std::string_view::npos)
            return false;
        out.m_eKind = SWineTraceLine::NOTICE;
        out.m_name = rest.substr(1, nEnd - 1);
        out.m_status = {};
        out.m_args = TrimSpaces(rest.substr(nEnd + 1));
        return true;
    }
    size_t n = 0;
    while (n < rest.size() && IsNameChar(rest[n]))
        ++n;
    if (n == 0 || n >= rest.size() || rest[n] != '(' || rest.back() == '(')
        return false;
    out.m_name = rest.substr(0, n);
    rest.remove_prefix(n + 1);
    if (rest == ")") { // a request without arguments
        out.m_eKind = SWineTraceLine::REQUEST;
        out.m_status = {};
        out.m_args = {};
        return true;
    }
    if (rest.starts_with(") = ")) {
        rest.remove_prefix(4);
        const size_t nSpace = rest.find(' ');
        out.m_eKind = SWineTraceLine::REPLY;
        out.m_status = rest.substr(0, nSpace);
        out.m_args = {};
        if (out.m_status.empty())
            return false;
        if (nSpace == std::string_view::npos)
            return true;
        rest = TrimSpaces(rest.substr(nSpace));
        if (rest.size() < 2 || rest.front() != '{' || rest.back() != '}')
            return false;
        out.m_args = TrimSpaces(rest.substr(1, rest.size() - 2));
        return true;
    }
    if (rest.back() != ')')
        return false;
    out.m_eKind = SWineTraceLine::REQUEST;
    out.m_status = {};
    out.m_args = TrimSpaces(rest.substr(0, rest.size() - 1));
    return true;
}

std::optional<std::string_view> WineTraceArg(std::string_view args, std::string_view strName) {
    size_t i = 0;
    const size_t nSize = args.size();
    while (i < nSize) {
        while (i < nSize && args[i] == ' ')
            ++i;
        const size_t nKey = i;
        while (i < nSize && args[i] != '=' && args[i] != ',')
            ++i;
        if (i >= nSize)
            return std::nullopt;
        const std::string_view key = args.substr(nKey, i - nKey);
        if (args[i] == ',') { // an item without a value
            ++i;
            continue;
        }
        const size_t nValue = ++i;
        int nDepth = 0;
        bool bInString = false;
        for (; i < nSize; ++i) {
            const char c = args[i];
            if (bInString) {
                if (c == '\\')
                    ++i;
                else if (c == '"')
                    bInString = false;
            } else if (c == '"') {
                bInString = true;
            } else if (c == '{') {
                ++nDepth;
            } else if (c == '}') {
                --nDepth;
            } else if (c == ',' && nDepth <= 0) {
                break;
            }
        }
        if (key == strName)
            return TrimSpaces(args.substr(nValue, std::min(i, nSize) - nValue));
        ++i;
    }
    return std::nullopt;
}

std::optional<uint32_t> WineTraceHex(std::string_view text) {
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    uint32_t n = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        n = n * 16 + uint32_t(d);
    }
    return n;
}

std::optional<int64_t> WineTraceInt(std::string_view text) {
    const bool bNegative = text.starts_with('-');
    if (bNegative)
        text.remove_prefix(1);
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return bNegative ? -n : n;
}

std::optional<std::string> WineTraceString(std::string_view text) {
    if (text.starts_with('L'))
        text.remove_prefix(1);
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return std::nullopt;
    text = text.substr(1, text.size() - 2);
    std::string str;
    str.reserve(text.size());
    CUtf16Sink sink(str);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            if (static_cast<unsigned char>(c) < 0x80) {
                sink.Put(uint32_t(static_cast<unsigned char>(c)));
            } else { // already UTF-8 (narrow dumps): copy the byte as it is
                sink.Finish();
                str.push_back(c);
            }
            continue;
        }
        if (++i >= text.size())
            return std::nullopt; // a lone backslash before the closing quote
        if (text[i] != 'x') {
            sink.Put(uint32_t(static_cast<unsigned char>(ControlEscape(text[i]))));
            continue;
        }
        uint32_t nUnit = 0;
        size_t nDigits = 0;
        while (nDigits < 4 && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0) {
            nUnit = nUnit * 16 + uint32_t(HexDigit(text[++i]));
            ++nDigits;
        }
        if (nDigits == 0)
            return std::nullopt;
        sink.Put(nUnit);
    }
    sink.Finish();
    return str;
}

std::optional<std::string> WineTraceBytes(std::string_view text, bool& bTruncated) {
    bTruncated = false;
    if (text.size() < 2 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    text = text.substr(1, text.size() - 2);
    if (const size_t nCut = text.find("..."); nCut != std::string_view::npos) {
        bTruncated = true;
        text = text.substr(0, nCut);
    }
    std::string data;
    data.reserve(text.size() / 3 + 1);
    size_t i = 0;
    while (i < text.size()) {
        if (i + 2 > text.size())
            return std::nullopt;
        const int nHigh = HexDigit(text[i]), nLow = HexDigit(text[i + 1]);
        if (nHigh < 0 || nLow < 0)
            return std::nullopt;
        data.push_back(char(nHigh * 16 + nLow));
        i += 2;
        if (i < text.size()) {
            if (text[i] != ',' || i + 1 == text.size())
                return std::nullopt;
            ++i;
        }
    }
    return data;
}

std::optional<double> WineTraceSecondsAgo(std::string_view text) {
    const size_t nOpen = text.find('(');
    const size_t nClose = text.find(')', nOpen);
    if (nOpen == std::string_view::npos || nClose == std::string_view::npos)
        return std::nullopt;
    const std::string strNumber(text.substr(nOpen + 1, nClose - nOpen - 1));
    char* pEnd = nullptr;
    const double d = std::strtod(strNumber.c_str(), &pEnd);
    if (strNumber.empty() || pEnd != strNumber.c_str() + strNumber.size())
        return std::nullopt;
    return -d;
}
