#include "capture/RecordText.h"

SRecordFields SplitRecordText(std::string_view text) {
    SRecordFields fields{};
    size_t nStart = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t nTab = text.find('\t', nStart);
        if (nTab == std::string_view::npos) {
            fields[i] = text.substr(nStart);
            break;
        }
        fields[i] = text.substr(nStart, nTab - nStart);
        nStart = nTab + 1;
    }
    return fields;
}

int32_t ParsePidField(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r')))
        ++i;
    bool bNegative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-'))
        bNegative = field[i++] == '-';
    int64_t nValue = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        nValue = nValue * 10 + (field[i] - '0');
        if (nValue > int64_t(INT32_MAX) + 1)
            nValue = int64_t(INT32_MAX) + 1;
    }
    if (bNegative)
        return int32_t(-nValue);
    return nValue > INT32_MAX ? INT32_MAX : int32_t(nValue);
}
