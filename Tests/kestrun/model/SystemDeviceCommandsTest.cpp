// The command points of "$System" and the root device's block.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <thread>

#include "kestrun/model/ServerCommands.h"
#include "kestrun/model/SystemArray.h"
#include "kestrun/model/SystemDevice.h"
#include "kestrun/options/ServerOptions.h"
#include "support/ScratchFolder.h"

namespace {

class FakeCommands : public kestrun::ServerCommands {
public:
    BOOL SetOnline(int bOnline) override
    {
        online.push_back(bOnline);
        return TRUE;
    }
    BOOL OpenDocument(const std::string& strPath) override
    {
        opened.push_back(strPath);
        return TRUE;
    }
    BOOL ResetDocument() override
    {
        ++resets;
        return resetResult;
    }
    BOOL CloseServer() override
    {
        ++closes;
        return TRUE;
    }
    bool PostToApplication(std::function<void()> task) override
    {
        posted.push_back(std::move(task));
        return true;
    }
    std::filesystem::path GetConfigFolder() const override { return folder; }

    void RunPosted()
    {
        auto tasks = std::move(posted);
        for (auto& task : tasks)
            task();
    }

    std::vector<int> online;
    std::vector<std::string> opened;
    int resets = 0;
    BOOL resetResult = TRUE;
    int closes = 0;
    std::vector<std::function<void()>> posted;
    std::filesystem::path folder;
};

class SystemDeviceTest : public ::testing::Test {
protected:
    SystemDeviceTest() : previous(kestrun::ServerCommands::Install(&commands))
    {
        commands.folder = scratch.path() / "config";
        std::filesystem::create_directories(commands.folder);
        EXPECT_TRUE(device.CreateSystemArrays());
        block = device.GetMemoryArrayList().GetBlocks().front();
    }
    ~SystemDeviceTest() override { kestrun::ServerCommands::Install(previous); }

    CdsMemoryObject* Point(const std::string& name) const { return block->FindMemoryObjectByKey(name); }

    int WriteShort(const std::string& name, SHORT value)
    {
        _BRISANTDATAVALUE cell{};
        cell.iVal = value;
        int result = 0;
        return device.HandleCommand(Point(name), cell, result);
    }

    int Open(const char* text)
    {
        std::string copy = text ? text : "";
        _BRISANTDATAVALUE cell{};
        cell.pszVal = text ? copy.data() : nullptr;
        int result = 0;
        return device.HandleCommand(Point("$DOOPEN"), cell, result);
    }

    void Touch(const std::filesystem::path& path) { std::ofstream(path) << "x"; }

    support::ScratchFolder scratch;
    FakeCommands commands;
    kestrun::ServerCommands* previous;
    CdsSystemDevice device;
    CdsMemoryArray* block = nullptr;
};

TEST_F(SystemDeviceTest, FourCommandPointsAndNoStatusPoints)
{
    ASSERT_EQ(device.GetMemoryArrayList().GetTotalCount(), 1);
    ASSERT_EQ(block->GetSize(), 4);
    const std::vector<std::pair<std::string, int>> expected = {
        {"$DOONLINE", BRISANT_BOOL}, {"$DOOPEN", BRISANT_STRING}, {"$DORESET", BRISANT_BOOL}, {"$DOEXIT", BRISANT_BOOL}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(block->GetMemoryObject(i)->GetName(), expected[static_cast<std::size_t>(i)].first);
        EXPECT_EQ(block->GetMemoryObject(i)->GetDataType(), expected[static_cast<std::size_t>(i)].second);
        EXPECT_EQ(block->GetMemoryObject(i)->GetStatus(), 192);
    }
    EXPECT_FALSE(block->IsReadAllowed());
    EXPECT_TRUE(block->IsWriteAllowed());
    EXPECT_EQ(device.GetSysModeObject(), nullptr);
}

TEST_F(SystemDeviceTest, OnlineSwitchGoesToTheDocument)
{
    EXPECT_EQ(WriteShort("$DOONLINE", 1), 1);
    EXPECT_EQ(commands.online, (std::vector<int>{1}));
}

TEST_F(SystemDeviceTest, ExitRunsOnlyOnTheApplicationThread)
{
    std::thread client([&] { EXPECT_EQ(WriteShort("$DOEXIT", 1), 1); });
    client.join();
    EXPECT_EQ(commands.closes, 0);
    commands.RunPosted();
    EXPECT_EQ(commands.closes, 1);
    EXPECT_EQ(WriteShort("$DOEXIT", 0), 1);
    EXPECT_TRUE(commands.posted.empty());
}

TEST_F(SystemDeviceTest, ResetZeroDoesNothing)
{
    EXPECT_EQ(WriteShort("$DORESET", 0), 1);
    EXPECT_EQ(commands.resets, 0);
    commands.resetResult = FALSE;
    EXPECT_EQ(WriteShort("$DORESET", 1), 0);
    EXPECT_EQ(commands.resets, 1);
}

TEST_F(SystemDeviceTest, OpenTriesTheNameThenTheConfigurationFolder)
{
    const auto absolute = scratch.path() / "plant.mme";
    Touch(absolute);
    Touch(commands.folder / "line2.mme");
    std::filesystem::create_directories(commands.folder / "sub");
    std::filesystem::create_directories(scratch.path() / "work");
    Touch(scratch.path() / "work" / "here.mme");
    const auto previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path() / "work");

    EXPECT_EQ(Open(absolute.string().c_str()), 1);
    EXPECT_EQ(Open("line2.mme"), 1);
    EXPECT_EQ(Open("here.mme"), 1);   // relative to where the server runs
    EXPECT_EQ(Open("missing.mme"), 1); // not there yet: asked for in the configuration folder
    EXPECT_EQ(Open(nullptr), 1);       // no name: nothing to do
    EXPECT_EQ(Open("sub"), 0);         // a folder
    EXPECT_EQ(Open("../plant.mme"), 0); // outside the configuration folder
    EXPECT_EQ(Open("../work/here.mme"), 0);
    std::filesystem::current_path(previousFolder);
    EXPECT_TRUE(commands.opened.empty());
    commands.RunPosted();
    EXPECT_EQ(commands.opened,
              (std::vector<std::string>{absolute.string(), (commands.folder / "line2.mme").string(),
                                        (scratch.path() / "work" / "here.mme").string(),
                                        (commands.folder / "missing.mme").string()}));
}

TEST_F(SystemDeviceTest, OtherPointsAreNotCommands)
{
    CdsSystemDevice other;
    other.CreateSystemArrays();
    _BRISANTDATAVALUE cell{};
    int result = 0;
    EXPECT_EQ(device.HandleCommand(other.GetMemoryArrayList().GetBlocks().front()->GetMemoryObject(0), cell, result), 0);
}

TEST(RootDevice, BlockForItemsAndSystemMode)
{
    CdsRootDevice root;
    ASSERT_TRUE(root.CreateSystemArrays());
    CdsMemoryArray* block = root.GetMemoryArrayList().GetBlocks().front();
    EXPECT_TRUE(block->IsReadAllowed());
    EXPECT_TRUE(block->IsWriteAllowed());
    if (CdsServerOptions::g_bUseSystemMode.load()) {
        ASSERT_NE(root.GetSysModeObject(), nullptr);
        EXPECT_EQ(root.GetSysMode(), -11);
    }
}

} // namespace
