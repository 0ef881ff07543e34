// Test check that two registry keys hold the same values and subkeys, all the way down.
#pragma once

#include "winereg/WineRegKey.h"

#include <gtest/gtest.h>

#include <QString>

// Values in the same order with the same names, types and data; subkeys likewise; strPath
// names the key in the failure messages.
inline void ExpectSameKeys(const CWineRegKey& a, const CWineRegKey& b, const QString& strPath) {
    ASSERT_EQ(a.ValueCount(), b.ValueCount()) << strPath.toStdString();
    for (qsizetype i = 0; i < a.ValueCount(); ++i) {
        EXPECT_TRUE(a.Value(i) == b.Value(i))
            << strPath.toStdString() << " value " << a.Value(i).m_strName.toStdString() << ": "
            << a.Value(i).Text().toStdString() << " / " << b.Value(i).Text().toStdString();
    }
    ASSERT_EQ(a.SubKeyCount(), b.SubKeyCount()) << strPath.toStdString();
    for (qsizetype i = 0; i < a.SubKeyCount(); ++i) {
        ASSERT_TRUE(EqualRegNames(a.SubKey(i)->Name(), b.SubKey(i)->Name()))
            << strPath.toStdString() << ": " << a.SubKey(i)->Name().toStdString() << " / "
            << b.SubKey(i)->Name().toStdString();
        ExpectSameKeys(*a.SubKey(i), *b.SubKey(i), strPath + u'\\' + a.SubKey(i)->Name());
    }
}
