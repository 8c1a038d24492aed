#include "kestrun/comm/serial/SerialCommPort.h"

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/serial/SerialCommFile.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A port file that fails each call with a chosen exception.
class ThrowingFile : public COXSerialCommFile {
public:
    enum class What { Serial, File, Other };
    What what = What::Serial;
    int cause = COXSerialCommException::parityError;

    bool IsOpen() const override { return true; }
    DWORD GetBytesToRead() override
    {
        Throw();
        return 0;
    }
    UINT Read(void*, UINT) override
    {
        Throw();
        return 0;
    }
    void Write(const void*, UINT) override { Throw(); }

private:
    void Throw() const
    {
        switch (what) {
        case What::Serial: AfxThrowSerialCommException(cause, "COM1");
        case What::File: throw CFileException(CFileException::hardIO, 5);
        case What::Other: throw std::runtime_error("x");
        }
    }
};

TEST(SerialCommPort, ExceptionsBecomeStatusCodes)
{
    struct Case {
        ThrowingFile::What what;
        int cause;
        DWORD waiting, read, write;
    };
    for (const Case& c : {Case{ThrowingFile::What::Serial, 8, 0x80000209u, 0x80000209u, 0x80000209u},
                          Case{ThrowingFile::What::Serial, 3, 0x80000204u, 0x80000204u, 0x80000204u},
                          Case{ThrowingFile::What::File, 0, 0x80000201u, 0x80000003u, 0x80000003u},
                          Case{ThrowingFile::What::Other, 0, 0x80000201u, 0x80000201u, 0x80000004u}}) {
        auto file = std::make_shared<ThrowingFile>();
        file->what = c.what;
        file->cause = c.cause;
        kestrun::SerialCommPort port(file);
        BYTE buffer[4] = {1, 2, 3, 4};
        EXPECT_EQ(static_cast<DWORD>(port.BytesWaiting()), c.waiting);
        EXPECT_EQ(static_cast<DWORD>(port.Read(buffer, 4)), c.read);
        EXPECT_EQ(static_cast<DWORD>(port.Write(buffer, 4)), c.write);
    }
}

TEST(SerialCommPort, ClosedFileAnswersWithAnIoErrorAndNoBytes)
{
    kestrun::SerialCommPort port(std::make_shared<COXSerialCommFile>());
    BYTE buffer[2] = {};
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(static_cast<DWORD>(port.BytesWaiting()), 0x8000020Eu);
    EXPECT_EQ(port.Read(buffer, 2), 0);
    EXPECT_EQ(static_cast<DWORD>(port.Write(buffer, 2)), 0x8000020Eu);
    port.Close();
}

} // namespace
