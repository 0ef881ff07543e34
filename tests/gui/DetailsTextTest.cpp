// The details pane's text for every operation code.
#include "display/DetailsText.h"
#include "store/RegInfoObj.h"
#include "store/RegOperations.h"
#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kMain = QStringLiteral(" Seqence: 7\r\n Time Sample: 10:15:30.007\r\n"
                                     " Process Name: app.exe\r\n Process ID: 1200\r\n");

QString Details(int nCode, const QString& strOld = QString(), const QString& strNew = QString()) {
    std::unique_ptr<CRegInfoObj> p(
        MakeRecord(7, nCode, QStringLiteral("HKCU\\Software\\App\\Value"), strOld, strNew));
    return BuildDetailsText(*p);
}

QString Main(int nCode) {
    return kMain + QStringLiteral(" Request: ") +
           QString::fromLatin1(g_RegOperationNames[size_t(nCode)].data()) +
           QStringLiteral("\r\n Path: HKCU\\Software\\App\\Value\r\n");
}

} // namespace

TEST(DetailsText, OperationsWithoutAValueShowTheSixMainLinesOnly) {
    for (const int nCode : {OP_OPEN_KEY, OP_CLOSE_KEY, OP_QUERY_KEY, OP_ENUM_KEY, OP_ENUM_VALUE,
                            OP_FLUSH_KEY, OP_LOAD_KEY, OP_UNLOAD_KEY, OP_DELETE_KEY})
        EXPECT_EQ(Details(nCode, QStringLiteral("old"), QStringLiteral("new")), Main(nCode))
            << "code " << nCode;
}

TEST(DetailsText, QueryValueEndsWithTheValueAndNoLineEnd) {
    EXPECT_EQ(Details(OP_QUERY_VALUE, QStringLiteral("REG_SZ: x")),
              Main(OP_QUERY_VALUE) + QStringLiteral(" Value: REG_SZ: x"));
    EXPECT_EQ(Details(OP_QUERY_VALUE), Main(OP_QUERY_VALUE) + QStringLiteral(" Value: "));
}

TEST(DetailsText, CreateKeySaysWhetherTheKeyExisted) {
    EXPECT_EQ(Details(OP_CREATE_OPEN), Main(OP_CREATE_OPEN) + QStringLiteral("Open Existing Key"));
    EXPECT_EQ(Details(OP_CREATE_NEW), Main(OP_CREATE_NEW) + QStringLiteral("Create New Key"));
}

TEST(DetailsText, SetValueShowsOldAndNewValueLines) {
    EXPECT_EQ(Details(OP_SET_VALUE, QStringLiteral("1"), QStringLiteral("2")),
              Main(OP_SET_VALUE) + QStringLiteral(" Old Value: 1\r\n New Value: 2\r\n"));
}

TEST(DetailsText, DeleteValueWithAndWithoutASecondValue) {
    EXPECT_EQ(Details(OP_DELETE_VALUE, QStringLiteral("REG_DWORD: 5")),
              Main(OP_DELETE_VALUE) + QStringLiteral(" Value: REG_DWORD: 5"));
    EXPECT_EQ(Details(OP_DELETE_VALUE, QStringLiteral("Run"), QStringLiteral("Tool")),
              Main(OP_DELETE_VALUE) + QStringLiteral(" Key: Run\r\n  Value: Tool\r\n"));
}
