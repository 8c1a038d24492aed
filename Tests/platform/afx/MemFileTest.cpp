#include "platform/afx/MemFile.h"

#include <gtest/gtest.h>

namespace {

TEST(MemFileTest, GrowsOnWriteAndZeroFillsGaps)
{
    CMemFile file;
    file.Write("ab", 2);
    file.Seek(4, CFile::begin);
    file.Write("c", 1);
    const std::vector<BYTE> expected{'a', 'b', 0, 0, 'c'};
    auto data = file.GetData();
    EXPECT_EQ(std::vector<BYTE>(data.begin(), data.end()), expected);
    EXPECT_EQ(file.GetLength(), 5u);
    EXPECT_EQ(file.Detach(), expected);
    EXPECT_EQ(file.GetLength(), 0u);
}

TEST(MemFileTest, ViewIsReadOnlyAndEndsWhereItsBytesEnd)
{
    const BYTE bytes[] = {1, 2, 3};
    CMemFile file{std::span<const BYTE>(bytes)};
    BYTE buf[8] = {};
    EXPECT_EQ(file.Read(buf, 2), 2u);
    EXPECT_EQ(file.Read(buf, 8), 1u);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(file.Read(buf, 8), 0u);
    file.Seek(10, CFile::begin);
    EXPECT_EQ(file.Read(buf, 8), 0u);
    try {
        file.Write(buf, 1);
        ADD_FAILURE();
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::accessDenied);
    }
    EXPECT_THROW(file.Seek(-11, CFile::current), CFileException);
}

TEST(MemFileTest, HasNoNameToOpen)
{
    CMemFile file;
    CFileException error;
    EXPECT_FALSE(file.Open("x", CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::genericException);
}

} // namespace
