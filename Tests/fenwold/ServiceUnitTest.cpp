// The systemd unit that runs Fenwold as a service of the user's manager.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fenwold/FenwoldApp.h"
#include "kestrun/shell/app/SystemdServiceController.h"
#include "support/ScratchFolder.h"
#include "support/ServerProcess.h"
#include "support/SourceTree.h"

namespace {

namespace fs = std::filesystem;

std::string UnitText()
{
    std::ifstream in(support::SourceTree() / "Tools/systemd/FenwoldSvc.service");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FenwoldServiceUnit, ItsNameAndCommandLineAreWhatTheServiceControllerUses)
{
    const std::string unit = UnitText();
    shell::SystemdServiceController controller(
        fenwold::kServiceName, [](const std::vector<std::string>&, std::string& out) {
            out = "LoadState=loaded\n";
            return 0;
        });
    EXPECT_EQ(controller.GetUnitName(), "FenwoldSvc.service");
    EXPECT_NE(unit.find("ExecStart=%h/.local/bin/fenwold ${" + controller.GetDocumentVariable() + "}\n"),
              std::string::npos);
    EXPECT_NE(unit.find("Description=" + std::string(fenwold::kServiceDescription) + "\n"), std::string::npos);
}

TEST(FenwoldServiceUnit, SystemdAcceptsItWithTheBuiltProgram)
{
    const std::string analyze = testsupport::FindOnPath("systemd-analyze");
    if (analyze.empty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    const std::string program = testsupport::TestProgram("fenwold");
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "fenwold not built";
    support::ScratchFolder scratch;
    std::string unit = UnitText();
    const std::string installed = "%h/.local/bin/fenwold";
    unit.replace(unit.find(installed), installed.size(), program);
    const fs::path file = scratch.path() / "FenwoldSvc.service";
    std::ofstream(file) << unit;
    testsupport::ServerProcess verify(analyze, true);
    ASSERT_TRUE(verify.Start({"verify", "--man=no", file.string()}, {}));
    EXPECT_EQ(verify.Wait(), 0) << verify.Output();
    const std::string& output = verify.Output();
    EXPECT_EQ(output, "");
}

} // namespace
