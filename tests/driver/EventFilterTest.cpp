// Which events the include/exclude lists and switch bytes let through.
#include "driver/EventFilter.h"

#include <gtest/gtest.h>

namespace {

CEventFilter::CSwitches AllOn() {
    CEventFilter::CSwitches ar;
    ar.fill(1);
    return ar;
}

bool Passes(const CEventFilter& f, std::string_view process, std::string_view path,
            int nOp = OP_OPEN_KEY, bool bOk = true) {
    return f.Passes(nOp, bOk, process, path);
}

} // namespace

TEST(EventFilterEntries, ProcessNamesIgnoreCaseAndExe) {
    EXPECT_TRUE(CEventFilter::ProcessEntryMatches("notepad", "NOTEPAD.EXE"));
    EXPECT_TRUE(CEventFilter::ProcessEntryMatches("Notepad.exe", "notepad"));
    EXPECT_TRUE(CEventFilter::ProcessEntryMatches("*", "anything"));
    EXPECT_FALSE(CEventFilter::ProcessEntryMatches("note", "notepad.exe"));
    EXPECT_FALSE(CEventFilter::ProcessEntryMatches("notepad.exe", "notepad.exe.bak"));
    EXPECT_FALSE(CEventFilter::ProcessEntryMatches(".exe", "a"));
}

TEST(EventFilterEntries, PathPrefixStopsAtBackslash) {
    EXPECT_TRUE(CEventFilter::PathEntryMatches("HKLM\\SOFTWARE", "hklm\\software"));
    EXPECT_TRUE(CEventFilter::PathEntryMatches("HKLM\\SOFTWARE", "HKLM\\SOFTWARE\\Classes"));
    EXPECT_TRUE(CEventFilter::PathEntryMatches("HKLM\\SOFTWARE\\", "HKLM\\SOFTWARE\\Classes"));
    EXPECT_FALSE(CEventFilter::PathEntryMatches("HKLM\\SOFT", "HKLM\\SOFTWARE"));
    EXPECT_FALSE(CEventFilter::PathEntryMatches("HKLM\\SOFTWARE", "HKLM\\SOFT"));
    EXPECT_TRUE(CEventFilter::PathEntryMatches("HKU", "HKU\\.DEFAULT"));
    EXPECT_FALSE(CEventFilter::PathEntryMatches("HKU", "HKUX"));
}

TEST(EventFilterEntries, OnlyRootsMakePathEntries) {
    EXPECT_TRUE(CEventFilter::IsPathEntry("HKLM"));
    EXPECT_TRUE(CEventFilter::IsPathEntry("hkcu\\Software"));
    EXPECT_TRUE(CEventFilter::IsPathEntry("HKCC\\"));
    EXPECT_FALSE(CEventFilter::IsPathEntry("HKLMX"));
    EXPECT_FALSE(CEventFilter::IsPathEntry("HKEY_LOCAL_MACHINE\\SOFTWARE"));
    EXPECT_FALSE(CEventFilter::IsPathEntry("*"));
}

TEST(EventFilterLists, IncludeProcessesAndPathsMustBothMatch) {
    const CEventFilter f("*;HKLM\\SOFTWARE", "", AllOn());
    EXPECT_TRUE(Passes(f, "x.exe", "HKLM\\SOFTWARE\\Microsoft"));
    EXPECT_FALSE(Passes(f, "x.exe", "HKCU\\Software"));

    const CEventFilter fPathOnly(";;HKCU;;", "", AllOn());
    EXPECT_TRUE(Passes(fPathOnly, "any", "HKCU\\Software"));
    EXPECT_FALSE(Passes(fPathOnly, "any", "HKLM\\SOFTWARE"));

    const CEventFilter fTwo("explorer; chrome ;HKCR;HKCC", "", AllOn());
    EXPECT_TRUE(Passes(fTwo, "Chrome.exe", "HKCC\\Software"));
    EXPECT_FALSE(Passes(fTwo, "firefox.exe", "HKCR\\.txt"));

    EXPECT_TRUE(Passes(CEventFilter("", "", AllOn()), "a", "HKLM"));
}

TEST(EventFilterLists, ExcludesWinOverIncludes) {
    const CEventFilter f("*", "svchost;HKLM\\SYSTEM", AllOn());
    EXPECT_FALSE(Passes(f, "SVCHOST.EXE", "HKCU\\x"));
    EXPECT_FALSE(Passes(f, "a", "HKLM\\SYSTEM\\CurrentControlSet"));
    EXPECT_TRUE(Passes(f, "a", "HKLM\\SYSTEMX"));
}

TEST(EventFilterSwitches, OperationAndOutcomeBothNeeded) {
    CEventFilter::CSwitches ar = AllOn();
    ar[DRV_SW_SET_VALUE] = 0;
    ar[DRV_SW_FAILED] = 0;
    const CEventFilter f("", "", ar);
    EXPECT_FALSE(Passes(f, "a", "HKLM\\x", OP_SET_VALUE));
    EXPECT_TRUE(Passes(f, "a", "HKLM\\x", OP_DELETE_VALUE));
    EXPECT_FALSE(Passes(f, "a", "HKLM\\x", OP_OPEN_KEY, false));
    EXPECT_FALSE(Passes(f, "a", "HKLM\\x", REG_OPERATION_COUNT));

    ar = AllOn();
    ar[DRV_SW_SUCCEEDED] = 0;
    EXPECT_TRUE(Passes(CEventFilter("", "", ar), "a", "HKLM", OP_OPEN_KEY, false));
    EXPECT_FALSE(Passes(CEventFilter("", "", ar), "a", "HKLM", OP_OPEN_KEY, true));

    EXPECT_FALSE(Passes(CEventFilter(), "a", "HKLM")) << "a default filter reports nothing";
}

TEST(EventFilterSwitches, BufferLayout) {
    std::vector<unsigned char> ar(REGDRV_FILTER_SIZE, 0);
    std::memcpy(ar.data(), "reg", 3);
    std::memcpy(ar.data() + FILTER_EXCLUDE_OFFSET, "HKCU", 4);
    ar[FILTER_SWITCH_OFFSET + DRV_SW_SUCCEEDED] = 1;
    ar[FILTER_SWITCH_OFFSET + DRV_SW_QUERY_KEY] = 1;
    ar[FILTER_SWITCH_OFFSET + DRV_SW_BOOKKEEPING] = 1;
    const std::optional<CEventFilter> f = CEventFilter::FromBytes(ar);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->SwitchOn(DRV_SW_BOOKKEEPING));
    EXPECT_FALSE(f->SwitchOn(DRV_SW_LOAD_KEY));
    EXPECT_FALSE(f->SwitchOn(17));
    EXPECT_TRUE(f->Passes(OP_QUERY_KEY, true, "REG.EXE", "HKLM"));
    EXPECT_FALSE(f->Passes(OP_QUERY_KEY, true, "reg", "HKCU\\x"));
    EXPECT_FALSE(f->Passes(OP_OPEN_KEY, true, "reg", "HKLM"));
    ar.pop_back();
    EXPECT_FALSE(CEventFilter::FromBytes(ar));
}
