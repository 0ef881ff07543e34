// The 2065-byte filter block: include and exclude texts and the per-operation switch bytes.
#pragma once

#include "driver/RegDrvContract.h"

#include <cstdint>

struct FILTER_BLOCK {
    char szInclude[FILTER_TEXT_SIZE];
    char szExclude[FILTER_TEXT_SIZE];
    uint8_t bSwitch[FILTER_SWITCH_COUNT];
};
static_assert(sizeof(FILTER_BLOCK) == REGDRV_FILTER_SIZE, "the filter block has no padding");
static_assert(offsetof(FILTER_BLOCK, szExclude) == FILTER_EXCLUDE_OFFSET);
static_assert(offsetof(FILTER_BLOCK, bSwitch) == FILTER_SWITCH_OFFSET);
