#include "TestObjects.h"

#include "platform/afx/Archive.h"
#include "platform/afx/MemFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using afxtest::Bytes;
using afxtest::Concat;
using afxtest::Hex;
using afxtest::Load;
using afxtest::Store;
using afxtest::Text;

namespace {

// ---- Numbers ----------------------------------------------------------------

struct NumberCase {
    const char* name;
    std::function<void(CArchive&)> store;
    std::function<void(CArchive&)> loadAndCheck;
    Bytes golden;
};

template <class T>
NumberCase Number(const char* name, T value, Bytes golden)
{
    return {name, [value](CArchive& ar) { ar << value; },
            [value](CArchive& ar) {
                T got{};
                ar >> got;
                EXPECT_EQ(std::memcmp(&got, &value, sizeof(T)), 0);
            },
            std::move(golden)};
}

TEST(ArchiveNumbers, StoreGoldenBytesAndLoadBack)
{
    const NumberCase cases[] = {
        Number<BYTE>("BYTE", 0xAB, {0xAB}),
        Number<char>("char", 'A', {0x41}),
        Number<bool>("bool true", true, {0x01}),
        Number<bool>("bool false", false, {0x00}),
        Number<WORD>("WORD", 0x1234, {0x34, 0x12}),
        Number<SHORT>("short", -2, {0xFE, 0xFF}),
        Number<char16_t>("wide char", u'\uD55C', {0x5C, 0xD5}),
        Number<LONG>("LONG", -2, {0xFE, 0xFF, 0xFF, 0xFF}),
        Number<int>("int", 0x01020304, {0x04, 0x03, 0x02, 0x01}),
        Number<DWORD>("DWORD", 0x12345678u, {0x78, 0x56, 0x34, 0x12}),
        Number<UINT>("UINT", 0xFFFFFFFEu, {0xFE, 0xFF, 0xFF, 0xFF}),
        Number<LONGLONG>("LONGLONG", -2, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
        Number<ULONGLONG>("ULONGLONG", 0x0102030405060708ull, {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}),
        Number<float>("float", 1.5f, {0x00, 0x00, 0xC0, 0x3F}),
        Number<float>("float negative", -2.25f, {0x00, 0x00, 0x10, 0xC0}),
        Number<double>("double", 1.5, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F}),
        Number<double>("double tenth", 0.1, {0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F}),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = Store(c.store);
        EXPECT_EQ(Hex(bytes), Hex(c.golden));
        Load(c.golden, c.loadAndCheck);
    }
}

TEST(ArchiveNumbers, AnyNonZeroByteLoadsAsTrue)
{
    Load({0x02, 0x00, 0xFF}, [](CArchive& ar) {
        bool a = false, b = true, c = false;
        ar >> a >> b >> c;
        EXPECT_TRUE(a);
        EXPECT_FALSE(b);
        EXPECT_TRUE(c);
    });
}

// ---- Strings ----------------------------------------------------------------

struct StringCase {
    std::size_t length;
    Bytes header;
};

std::string Filler(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

TEST(ArchiveStrings, LengthPrefixFormsAtEveryBoundary)
{
    const StringCase cases[] = {
        {0, {0x00}},
        {1, {0x01}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text = Filler(c.length);
        Bytes bytes = Store([&](CArchive& ar) { ar << text; });
        ASSERT_EQ(bytes.size(), c.header.size() + c.length);
        EXPECT_EQ(Hex(Bytes(bytes.begin(), bytes.begin() + c.header.size())), Hex(c.header));
        EXPECT_EQ(std::string(bytes.begin() + c.header.size(), bytes.end()), text);
        Load(bytes, [&](CArchive& ar) {
            std::string got = "old";
            ar >> got;
            EXPECT_EQ(got, text);
        });
    }
}

TEST(ArchiveStrings, EightBitTextIsKeptAsItsBytes)
{
    const std::string text("A\0\xB0\xA1\xFF", 5); // an embedded zero and non-UTF-8 bytes
    Bytes bytes = Store([&](CArchive& ar) { ar << text; });
    EXPECT_EQ(Hex(bytes), Hex({0x05, 0x41, 0x00, 0xB0, 0xA1, 0xFF}));
    Load(bytes, [&](CArchive& ar) {
        std::string got;
        ar >> got;
        EXPECT_EQ(got, text);
    });
}

TEST(ArchiveStrings, CStringLiteralIsStoredAsString)
{
    Bytes bytes = Store([](CArchive& ar) { ar << "AB"; });
    EXPECT_EQ(Hex(bytes), Hex({0x02, 0x41, 0x42}));
}

struct Utf16Case {
    const char* name;
    Bytes stored;
    std::string utf8;
};

TEST(ArchiveStrings, Utf16TextLoadsAsUtf8)
{
    Bytes longUnits;
    std::string longText;
    for (int i = 0; i < 300; ++i) {
        longUnits.push_back(0x00);
        longUnits.push_back(0xAE); // U+AE00
        longText += "\xEA\xB8\x80";
    }
    const Utf16Case cases[] = {
        {"Korean", {0xFF, 0xFE, 0xFF, 0x02, 0x5C, 0xD5, 0x00, 0xAE}, "\xED\x95\x9C\xEA\xB8\x80"},
        {"ASCII", {0xFF, 0xFE, 0xFF, 0x04, 0x32, 0x00, 0x30, 0x00, 0x31, 0x00, 0x30, 0x00}, "2010"},
        {"empty", {0xFF, 0xFE, 0xFF, 0x00}, ""},
        {"surrogate pair", {0xFF, 0xFE, 0xFF, 0x02, 0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},
        {"lone high surrogate", {0xFF, 0xFE, 0xFF, 0x02, 0x3D, 0xD8, 0x41, 0x00}, "\xEF\xBF\xBD" "A"},
        {"trailing high surrogate", {0xFF, 0xFE, 0xFF, 0x01, 0x3D, 0xD8}, "\xEF\xBF\xBD"},
        {"lone low surrogate", {0xFF, 0xFE, 0xFF, 0x01, 0x00, 0xDE}, "\xEF\xBF\xBD"},
        {"two-byte form", Concat({{0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}, longUnits}), longText},
        {"four-byte form", Concat({{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x2C, 0x01, 0x00, 0x00}, longUnits}), longText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Load(c.stored, [&](CArchive& ar) {
            std::string got;
            ar >> got;
            EXPECT_EQ(got, c.utf8);
        });
    }
}

TEST(ArchiveStrings, ForgedHugeLengthFailsWithoutReadingPastTheEnd)
{
    const Bytes cases[] = {
        {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0x7F, 'a', 'b'},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'},
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0x7F, 0x41, 0x00},
    };
    for (const auto& bytes : cases) {
        SCOPED_TRACE(Hex(bytes));
        try {
            Load(bytes, [](CArchive& ar) {
                std::string s;
                ar >> s;
            });
            ADD_FAILURE() << "no exception";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
        }
    }
}

// ---- Counts -----------------------------------------------------------------

TEST(ArchiveCounts, WordOrEscapedDword)
{
    const struct {
        DWORD count;
        Bytes golden;
    } cases[] = {
        {0, {0x00, 0x00}},
        {0xFFFE, {0xFE, 0xFF}},
        {0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(Hex(Store([&](CArchive& ar) { ar.WriteCount(c.count); })), Hex(c.golden));
        Load(c.golden, [&](CArchive& ar) { EXPECT_EQ(ar.ReadCount(), c.count); });
    }
}

// ---- Truncation ----------------------------------------------------------------

// Every cut point of a stream of every primitive fails with end of file.
TEST(ArchiveTruncation, EveryCutOfPrimitivesRaisesEndOfFile)
{
    const std::string longText = Filler(300);
    auto storeAll = [&](CArchive& ar) {
        ar << BYTE{1} << WORD{2} << LONG{3} << DWORD{4} << LONGLONG{5} << 6.0f << 7.0 << true;
        ar << std::string("eight") << longText;
        ar.WriteCount(0x12345);
    };
    auto loadAll = [&](CArchive& ar) {
        BYTE b; WORD w; LONG l; DWORD dw; LONGLONG ll; float f; double d; bool flag;
        std::string s1, s2;
        ar >> b >> w >> l >> dw >> ll >> f >> d >> flag >> s1 >> s2;
        EXPECT_EQ(ar.ReadCount(), 0x12345u);
        EXPECT_EQ(s2, longText);
    };
    const Bytes golden = Store(storeAll);
    Load(golden, loadAll);
    for (int bufSize : {16, 4096}) {
        for (std::size_t cut = 0; cut < golden.size(); ++cut) {
            SCOPED_TRACE(cut);
            Bytes part(golden.begin(), golden.begin() + cut);
            try {
                Load(part, loadAll, bufSize);
                ADD_FAILURE() << "loaded a stream cut at " << cut;
            } catch (const CArchiveException& e) {
                EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
            }
        }
    }
}

TEST(ArchiveTruncation, EveryCutOfUtf16TextRaisesEndOfFile)
{
    Bytes units;
    for (int i = 0; i < 300; ++i)
        units.insert(units.end(), {0x5C, 0xD5});
    const Bytes golden = Concat({{0xFF, 0xFE, 0xFF, 0x02, 0x5C, 0xD5, 0x00, 0xAE},
                                 {0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}, units});
    auto loadBoth = [](CArchive& ar) {
        std::string a, b;
        ar >> a >> b;
        EXPECT_EQ(a, "\xED\x95\x9C\xEA\xB8\x80");
        EXPECT_EQ(b.size(), 900u);
    };
    Load(golden, loadBoth);
    for (std::size_t cut = 0; cut < golden.size(); ++cut) {
        SCOPED_TRACE(cut);
        try {
            Load(Bytes(golden.begin(), golden.begin() + static_cast<std::ptrdiff_t>(cut)), loadBoth, 16);
            ADD_FAILURE() << "loaded a stream cut at " << cut;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
        }
    }
}

TEST(ArchiveTruncation, RawReadReturnsWhatIsThere)
{
    Load({1, 2, 3}, [](CArchive& ar) {
        BYTE buf[8] = {};
        EXPECT_EQ(ar.Read(buf, 8), 3u);
        EXPECT_EQ(buf[2], 3);
        EXPECT_EQ(ar.Read(buf, 8), 0u);
    });
}

// ---- Buffering ----------------------------------------------------------------

// A stream that hands out one byte per call and cannot seek, like a port.
class CTrickleFile : public CFile {
public:
    explicit CTrickleFile(Bytes data) : m_data(std::move(data)) {}
    bool IsOpen() const override { return true; }
    UINT Read(void* p, UINT n) override
    {
        if (n == 0 || m_pos >= m_data.size())
            return 0;
        static_cast<BYTE*>(p)[0] = m_data[m_pos++];
        return 1;
    }
    void Write(const void* p, UINT n) override
    {
        auto* b = static_cast<const BYTE*>(p);
        m_data.insert(m_data.end(), b, b + n);
        ++m_writes;
    }
    bool CanSeek() const override { return false; }
    Bytes m_data;
    std::size_t m_pos = 0;
    int m_writes = 0;
};

TEST(ArchiveBuffering, StreamIsReadNoFurtherThanNeeded)
{
    CTrickleFile file(Concat({{0x34, 0x12, 0x03}, Text("abc"), {0x99, 0x98}}));
    CArchive ar(&file, CArchive::load);
    WORD w = 0;
    std::string s;
    ar >> w >> s;
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(file.m_pos, 6u); // the next message's bytes stay in the stream
    ar.Close();
}

TEST(ArchiveBuffering, LoadingGivesUnreadBytesBackToTheFile)
{
    Bytes data = {0x01, 0x00, 0x02, 0x00, 0xAA, 0xBB, 0xCC};
    CMemFile file(data);
    {
        CArchive ar(&file, CArchive::load);
        WORD a = 0, b = 0;
        ar >> a >> b;
        ar.Close();
    }
    EXPECT_EQ(file.GetPosition(), 4u);
}

TEST(ArchiveBuffering, SmallBufferWritesSameBytesAsLarge)
{
    auto fill = [](CArchive& ar) {
        for (int i = 0; i < 100; ++i)
            ar << static_cast<LONG>(i) << Filler(static_cast<std::size_t>(i * 7));
    };
    Bytes small = Store(fill, 16);
    Bytes large = Store(fill, 65536);
    EXPECT_EQ(small, large);
    for (int bufSize : {16, 4096})
        Load(small, [](CArchive& ar) {
            for (int i = 0; i < 100; ++i) {
                LONG l = -1;
                std::string s;
                ar >> l >> s;
                EXPECT_EQ(l, i);
                EXPECT_EQ(s, Filler(static_cast<std::size_t>(i * 7)));
            }
        }, bufSize);
}

TEST(ArchiveBuffering, NothingReachesTheFileBeforeFlush)
{
    CTrickleFile file({});
    CArchive ar(&file, CArchive::store);
    ar << DWORD{7};
    EXPECT_EQ(file.m_writes, 0);
    ar.Flush();
    EXPECT_EQ(Hex(file.m_data), Hex({0x07, 0x00, 0x00, 0x00}));
    ar.Close();
}

TEST(ArchiveBuffering, DestructorFlushesAnUnclosedStore)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        ar << WORD{0x0102};
    }
    EXPECT_EQ(Hex(Bytes(file.GetData().begin(), file.GetData().end())), Hex({0x02, 0x01}));
}

TEST(ArchiveBuffering, AbortWritesNothing)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        ar << WORD{0x0102};
        ar.Abort();
    }
    EXPECT_TRUE(file.GetData().empty());
}

// ---- Modes ----------------------------------------------------------------------

TEST(ArchiveModes, WrongDirectionIsRefused)
{
    CMemFile file;
    CArchive out(&file, CArchive::store);
    EXPECT_TRUE(out.IsStoring());
    EXPECT_FALSE(out.IsLoading());
    WORD w = 0;
    try {
        out >> w;
        ADD_FAILURE();
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::writeOnly);
    }
    out.Close();

    Load({0x00, 0x00}, [](CArchive& in) {
        EXPECT_TRUE(in.IsLoading());
        try {
            in << WORD{1};
            ADD_FAILURE();
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::readOnly);
        }
    });
}

TEST(ArchiveModes, ClosedArchiveIsRefused)
{
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    ar.Close();
    EXPECT_THROW(ar << WORD{1}, CArchiveException);
}

TEST(ArchiveModes, FileErrorsReachTheCaller)
{
    CMemFile readOnly(std::span<const BYTE>{});
    CArchive ar(&readOnly, CArchive::store);
    ar << WORD{1};
    EXPECT_THROW(ar.Close(), CFileException);
}

} // namespace
