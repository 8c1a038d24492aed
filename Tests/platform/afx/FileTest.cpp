#include "platform/afx/Archive.h"
#include "platform/afx/File.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "afx-file-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string PathOf(const char* name) const { return (m_dir / name).string(); }
    void WriteRaw(const std::string& path, const std::string& bytes) const
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string ReadRaw(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path m_dir;
};

TEST_F(FileTest, OpenFailuresCarryTheirCause)
{
    WriteRaw(PathOf("plain"), "x");
    const struct {
        const char* name;
        std::string path;
        UINT flags;
        int cause;
    } cases[] = {
        {"missing", PathOf("missing"), CFile::modeRead, CFileException::fileNotFound},
        {"folder", m_dir.string(), CFile::modeRead, CFileException::accessDenied},
        {"through a file", PathOf("plain") + "/x", CFile::modeRead, CFileException::badPath},
        {"missing folder", PathOf("nofolder") + "/x", CFile::modeCreate | CFile::modeWrite, CFileException::fileNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(c.path, c.flags, &error));
        EXPECT_EQ(error.m_cause, c.cause);
        EXPECT_EQ(error.m_strFileName, c.path);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_THROW(CFile(c.path, c.flags), CFileException);
    }
}

TEST_F(FileTest, CreateTruncatesUnlessTold)
{
    const std::string path = PathOf("data");
    WriteRaw(path, "old contents");
    {
        CFile file(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite);
        EXPECT_EQ(file.GetLength(), 12u);
    }
    {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        EXPECT_EQ(file.GetLength(), 0u);
        file.Write("new", 3);
        file.Close();
    }
    EXPECT_EQ(ReadRaw(path), "new");
}

TEST_F(FileTest, ExclusiveShareKeepsOthersOutWithoutTruncating)
{
    const std::string path = PathOf("locked");
    WriteRaw(path, "keep");
    CFile holder(path, CFile::modeRead | CFile::shareExclusive);
    CFile other;
    CFileException error;
    EXPECT_FALSE(other.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive, &error));
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
    EXPECT_EQ(ReadRaw(path), "keep");
    holder.Close();
    EXPECT_TRUE(other.Open(path, CFile::modeRead | CFile::shareExclusive, &error));
}

TEST_F(FileTest, ReadsSeeksAndNames)
{
    const std::string path = PathOf("seek.bin");
    WriteRaw(path, "0123456789");
    CFile file(path, CFile::modeRead);
    EXPECT_TRUE(file.CanSeek());
    EXPECT_EQ(file.GetFileName(), "seek.bin");
    EXPECT_EQ(file.GetFilePath(), path);
    char buf[16] = {};
    EXPECT_EQ(file.Seek(-3, CFile::end), 7u);
    EXPECT_EQ(file.Read(buf, sizeof buf), 3u);
    EXPECT_EQ(std::string(buf, 3), "789");
    EXPECT_EQ(file.Read(buf, sizeof buf), 0u);
    EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
    EXPECT_THROW(file.Write("x", 1), CFileException); // opened for reading
}

TEST_F(FileTest, ClosedFileRefusesWork)
{
    CFile file;
    char c = 0;
    try {
        file.Read(&c, 1);
        ADD_FAILURE();
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_cause, CFileException::invalidFile);
    }
}

TEST_F(FileTest, ArchiveRoundTripThroughADiskFile)
{
    const std::string path = PathOf("doc.bin");
    {
        CFile file(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
        CArchive ar(&file, CArchive::store);
        ar << std::string("Fenwold") << LONG{1};
        ar.Close();
        file.Close();
    }
    EXPECT_EQ(ReadRaw(path), std::string("\x07" "Fenwold\x01\x00\x00\x00", 12));
    CFile file(path, CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    std::string s;
    LONG l = 0;
    ar >> s >> l;
    EXPECT_EQ(s, "Fenwold");
    EXPECT_EQ(l, 1);
    BYTE extra = 0;
    EXPECT_THROW(ar >> extra, CArchiveException);
}

} // namespace
