#include "kestrun/comm/config/Serializer.h"

#include "kestrun/comm/serial/SerialCommConfig.h"
#include "platform/afx/Exceptions.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Notices {
    std::vector<std::string> texts;
    COXSerializer::Notice sink()
    {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

TEST(COXSerializer, TakesOnlySerialisableObjects)
{
    COXSerializer serializer;
    COXSerialCommConfig config;
    EXPECT_TRUE(serializer.Initialize("x.cfg", &config));
    EXPECT_FALSE(serializer.Initialize("x.cfg", nullptr));
}

TEST(COXSerializer, KeepsTheCauseOfAFailure)
{
    support::ScratchFolder folder;
    COXSerialCommConfig config;
    Notices notices;
    COXSerializer serializer(notices.sink());

    ASSERT_TRUE(serializer.Initialize((folder.path() / "missing.cfg").string(), &config));
    EXPECT_FALSE(serializer.Load(FALSE));
    EXPECT_EQ(serializer.m_nFileCause, CFileException::fileNotFound);
    EXPECT_EQ(serializer.m_nArchiveCause, 0);
    EXPECT_TRUE(notices.texts.empty());

    const auto shortFile = folder.path() / "short.cfg";
    // A serial settings record that stops inside its strings.
    std::ofstream(shortFile, std::ios::binary).write("\x01\x00\x00\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00\x00", 12);
    ASSERT_TRUE(serializer.Initialize(shortFile.string(), &config));
    EXPECT_FALSE(serializer.Load(TRUE));
    EXPECT_EQ(serializer.m_nFileCause, 0);
    EXPECT_EQ(serializer.m_nArchiveCause, CArchiveException::endOfFile);
    EXPECT_EQ(notices.texts.size(), 1u);
}

TEST(COXSerializer, FailedSaveKeepsTheFileSavedBefore)
{
    support::ScratchFolder folder;
    const auto path = folder.path() / "com.cfg";
    COXSerialCommConfig config;
    config.m_nBaudRate = 4800;
    COXSerializer serializer;
    ASSERT_TRUE(serializer.Initialize(path.string(), &config));
    ASSERT_TRUE(serializer.Save(FALSE));
    const auto saved = std::filesystem::file_size(path);

    // A folder where the new file would be written beside it.
    std::filesystem::create_directory(path.string() + ".tmp");
    config.m_nBaudRate = 9600;
    EXPECT_FALSE(serializer.Save(FALSE));
    EXPECT_NE(serializer.m_nFileCause, 0);
    ASSERT_EQ(std::filesystem::file_size(path), saved);
    COXSerialCommConfig loaded;
    ASSERT_TRUE(serializer.Initialize(path.string(), &loaded));
    ASSERT_TRUE(serializer.Load(FALSE));
    EXPECT_EQ(loaded.m_nBaudRate, 4800u);
}

} // namespace
