#include "driver/WineValueText.h"

#include "winereg/WineRegValue.h"

std::string WineValueText(uint32_t nType, std::string_view data, bool bTruncated) {
    std::string str =
        RegValueText(nType, QByteArrayView(data.data(), qsizetype(data.size())), MAX_VALUE_TEXT)
            .toStdString();
    if (bTruncated && !str.ends_with("..."))
        str += "...";
    return str;
}
