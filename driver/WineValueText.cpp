#include "driver/WineValueText.h"

#include "winereg/WineRegValue.h"

std::string WineValueText(uint32_t nType, std::string_view data, bool bTruncated) {
    const QByteArrayView bytes(data.data(), qsizetype(data.size()));
    if (!bTruncated)
        return RegRecordValueText(nType, bytes, MAX_VALUE_TEXT, MAX_VALUE_BYTES).toStdString();
    std::string str = RegValueText(nType, bytes, MAX_VALUE_TEXT).toStdString();
    if (!str.ends_with("..."))
        str += "...";
    return str;
}
