// Cheap precomputed records for benchmarks: the reader gets as many as its buffer holds.
#pragma once

#include "driver/EventFilter.h"

#include <string>
#include <vector>

// Narrow: 64 records of 4 processes on 4 keys, the best case for a reader's caches. Varied:
// 65536 records of the simulated registry's activity (every operation, thousands of distinct
// paths and values) attributed to a few hundred processes, as a real machine gives.
class CFloodGenerator {
public:
    static constexpr size_t VARIED_RECORDS = size_t(1) << 16;
    static constexpr size_t VARIED_PROCESSES = 300;

    explicit CFloodGenerator(bool bVaried = false);

    // Marks which precomputed records the committed filter lets through.
    void ApplyFilter(const CEventFilter& filter);
    // Record text that passes the filter, cycling; nullptr when none passes.
    const std::string* Peek() const;
    void Advance();

private:
    void MakeNarrow();
    void MakeVaried();

    struct STemplate {
        int m_nOperation;
        bool m_bSucceeded;
        std::string m_strProcess;
        std::string m_strPath;
        std::string m_strText;
    };
    std::vector<STemplate> m_arTemplates;
    std::vector<size_t> m_arPassing;
    size_t m_nNext = 0;
};
