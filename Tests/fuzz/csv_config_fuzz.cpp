// A CSV configuration as the server program imports it: device lines, block lines
// and the old memory lines, each section starting at its heading. Whatever imports
// must export, and what it exports must import and export again to the same text.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "fenwold/FenwoldDoc.h"
#include "fuzz/FuzzCheck.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/shell/app/FileDialog.h"

namespace {

// The export dialog answers with one fixed path.
class ExportTo final : public shell::FileDialogPresenter {
public:
    explicit ExportTo(std::string path) : m_path(std::move(path)) {}
    bool Show(const shell::FileDialogRequest&, std::string& strPath) override
    {
        strPath = m_path;
        return true;
    }

private:
    std::string m_path;
};

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Imports in and exports to out; false when the import refuses the file.
bool RoundTrip(const std::string& in, const std::string& out)
{
    CFenwoldDoc doc;
    if (!doc.ImportFromCsvFile(in, 0))
        return false;
    ExportTo dialog(out);
    shell::FileDialogPresenter* previous = shell::InstallFileDialogPresenter(&dialog);
    doc.OnFileExport();
    shell::InstallFileDialogPresenter(previous);
    doc.DeleteContents();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto dir = std::filesystem::temp_directory_path();
    const std::string stem = (dir / ("csv_config_fuzz_" + std::to_string(::getpid()))).string();
    const std::string input = stem + ".csv", first = stem + "_1.csv", second = stem + "_2.csv";
    std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (RoundTrip(input, first)) {
        const std::string exported = Read(first);
        FUZZ_CHECK(!exported.empty());
        FUZZ_CHECK(RoundTrip(first, second));
        FUZZ_CHECK(Read(second) == exported);
    }
    CdsDeviceMap::m_TopicListByName.RemoveAll();
    for (const auto& path : {input, first, second})
        std::filesystem::remove(path);
    return 0;
}
