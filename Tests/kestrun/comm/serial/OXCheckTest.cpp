#include "kestrun/comm/serial/OXCheck.h"

#include "platform/afx/Exceptions.h"
#include "platform/afx/MemFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string kCheck = "123456789";


struct FreshCase {
    const char* name;
    std::function<std::unique_ptr<COXCheckBase>()> make;
    DWORD expected; // plain CalculateBlock of "123456789" from a fresh object
};

class FreshObjectTest : public ::testing::TestWithParam<FreshCase> {};

TEST_P(FreshObjectTest, StartsFromAllBitsSet)
{
    auto check = GetParam().make();
    EXPECT_EQ(check->GetValue(), 0xFFFFFFFFu);
    EXPECT_EQ(check->CalculateBlock(kCheck.data(), 9), GetParam().expected) << GetParam().name;
    EXPECT_EQ(check->GetValue(), GetParam().expected);
    check->Reset();
    EXPECT_EQ(check->GetValue(), 0xFFFFFFFFu);
    // Two halves continue where the first stopped.
    check->CalculateBlock(kCheck.data(), 4);
    EXPECT_EQ(check->CalculateBlock(kCheck.data() + 4, 5), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, FreshObjectTest,
    ::testing::Values(
        // CRC-16/IBM-3740 (CCITT-FALSE): initial 0xFFFF, no final XOR.
        FreshCase{"crc16-ccitt-false", [] { return std::make_unique<COXCRC16>(0x1021); }, 0x29B1},
        // CRC-16/CMS: polynomial 0x8005 unreflected, initial 0xFFFF.
        FreshCase{"crc16-cms", [] { return std::make_unique<COXCRC16>(0x8005); }, 0xAEE7},
        // CRC-32/JAMCRC: CRC-32/ISO-HDLC (0xCBF43926) before its final inversion.
        FreshCase{"crc32-jamcrc", [] { return std::make_unique<COXCRC32>(0xEDB88320u); }, 0x340BC6D9u},
        // CRC-32C (0xE3069283) before its final inversion.
        FreshCase{"crc32c", [] { return std::make_unique<COXCRC32>(0x82F63B78u); }, ~0xE3069283u},
        // Sum of the digits is 0x1DD, added to the all-ones start.
        FreshCase{"sum8", [] { return std::make_unique<COXCheckSum8>(); }, 0xDC},
        FreshCase{"sum16", [] { return std::make_unique<COXCheckSum16>(); }, 0x01DC},
        FreshCase{"sum32", [] { return std::make_unique<COXCheckSum32>(); }, 0x000001DCu}));

TEST(COXCheck, SizesOfEachKind)
{
    EXPECT_EQ(COXCheckSum8().GetSize(), COXCheckBase::SIZE_8);
    EXPECT_EQ(COXCheckSum16().GetSize(), COXCheckBase::SIZE_16);
    EXPECT_EQ(COXCheckSum32().GetSize(), COXCheckBase::SIZE_32);
    EXPECT_EQ(COXCRC16().GetSize(), COXCheckBase::SIZE_16);
    EXPECT_EQ(COXCRC32().GetSize(), COXCheckBase::SIZE_32);
}

TEST(COXCheck, ExplicitStartValue)
{
    COXCRC16 xmodem(0x1021);
    EXPECT_EQ(xmodem.CalculateBlock(kCheck.data(), 9, 0), 0x31C3u); // CRC-16/XMODEM
    COXCRC16 fujitsu(0x1021);
    EXPECT_EQ(fujitsu.CalculateBlock(kCheck.data(), 9, 0x1D0F), 0xE5CCu); // CRC-16/SPI-FUJITSU
    COXCRC32 crc32;
    EXPECT_EQ(crc32.CalculateBlock(kCheck.data(), 9, 0xFFFFFFFFu) ^ 0xFFFFFFFFu, 0xCBF43926u);
    COXCheckSum8 sum;
    EXPECT_EQ(sum.CalculateBlock(kCheck.data(), 0, 0x1234), 0x34u);
}

TEST(COXCheck, SumOfOneTwoThreeFromAFreshObject)
{
    const BYTE data[] = {1, 2, 3};
    COXCheckSum8 sum;
    EXPECT_EQ(sum.CalculateBlock(data, 3), 5u);
}

// A 32-bit start value never indexes the 16-bit table out of range.
TEST(COXCheck, Crc16StartValueAbove16BitsIsMasked)
{
    COXCRC16 crc(0x1021);
    EXPECT_EQ(crc.CalculateBlock(kCheck.data(), 9, 0xABCDFFFFu), 0x29B1u);
    EXPECT_EQ(crc.CalculateBlock(kCheck.data(), 0), 0x29B1u);
}

TEST(COXCheck, ObjectsOfOnePolynomialShareATable)
{
    // Other tests may have made either table already: only growth caused here counts.
    COXCRC16 a(0x3D65);
    const std::size_t after = COXCRC16::m_tableList.GetCount();
    COXCRC16 b(0x3D65);
    EXPECT_EQ(a.GetTable(), b.GetTable());
    EXPECT_EQ(COXCRC16::m_tableList.GetCount(), after);
    COXCRC16 c(0x0589);
    EXPECT_NE(c.GetTable(), a.GetTable());
}

// ---- files ----

std::vector<BYTE> Pattern(std::size_t n)
{
    std::vector<BYTE> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<BYTE>(i * 7 + 3);
    return v;
}

DWORD BlockCrc(const std::vector<BYTE>& data, std::size_t n)
{
    COXCRC32 crc;
    return crc.CalculateBlock(data.data(), static_cast<DWORD>(n));
}

TEST(CalculateFile, ReadsFromThePositionInChunks)
{
    const auto data = Pattern(5000);
    struct Case {
        DWORD count;
        DWORD buffer;
        std::size_t covered;
    };
    const Case cases[] = {{0xFFFFFFFFu, 2048, 5000}, {0xFFFFFFFFu, 1, 5000}, {1000, 300, 1000},
                          {6000, 2048, 5000},        {0, 2048, 0},           {0xFFFFFFFFu, 0, 5000},
                          {4096, 2048, 4096}};
    for (const Case& c : cases) {
        CMemFile file{std::span<const BYTE>(data)};
        COXCRC32 crc;
        EXPECT_EQ(crc.CalculateFile(file, c.count, c.buffer), BlockCrc(data, c.covered))
            << c.count << "/" << c.buffer;
    }
    CMemFile file{std::span<const BYTE>(data)};
    file.Seek(4000, CFile::begin);
    COXCheckSum32 sum;
    COXCheckSum32 expected;
    EXPECT_EQ(sum.CalculateFile(file), expected.CalculateBlock(data.data() + 4000, 1000));
}

// Fails on the given read call.
class FailingFile : public CMemFile {
public:
    FailingFile(std::vector<BYTE> data, int failOn) : CMemFile(std::move(data)), m_failOn(failOn) {}
    UINT Read(void* lpBuf, UINT nCount) override
    {
        if (++m_calls == m_failOn)
            throw CFileException(CFileException::hardIO, 5, "disk");
        return CMemFile::Read(lpBuf, nCount);
    }

private:
    int m_failOn;
    int m_calls = 0;
};

TEST(CalculateFile, FileExceptionRestoresTheValueAndIsPassedOn)
{
    COXCRC16 crc;
    crc.CalculateBlock(kCheck.data(), 9);
    FailingFile file(Pattern(100), 3);
    try {
        crc.CalculateFile(file, 0xFFFFFFFFu, 16);
        ADD_FAILURE();
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::hardIO);
    }
    EXPECT_EQ(crc.GetValue(), 0x29B1u);
}

TEST(CalculateFile, ByNameCoversTheWholeFile)
{
    const auto data = Pattern(4100);
    const auto path = std::filesystem::temp_directory_path() /
                      ("oxcheck_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                       "_" + std::to_string(reinterpret_cast<std::uintptr_t>(&data)) + ".bin");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    COXCRC32 crc;
    EXPECT_EQ(crc.CalculateFile(path.string()), BlockCrc(data, data.size()));
    std::filesystem::remove(path);

    COXCRC32 missing;
    EXPECT_THROW(missing.CalculateFile(path.string()), CFileException);
    EXPECT_EQ(missing.GetValue(), 0xFFFFFFFFu);
}

} // namespace
