// Cheap precomputed records for benchmarks: the reader gets as many as its buffer holds.
#pragma once

#include "driver/EventFilter.h"

#include <string>
#include <vector>

class CFloodGenerator {
public:
    CFloodGenerator();

    // Marks which precomputed records the committed filter lets through.
    void ApplyFilter(const CEventFilter& filter);
    // Record text that passes the filter, cycling; nullptr when none passes.
    const std::string* Peek() const;
    void Advance();

private:
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
