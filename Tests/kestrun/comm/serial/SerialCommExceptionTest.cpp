#include "kestrun/comm/serial/SerialCommException.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct TextCase {
    int cause;
    const char* text;
};

class SerialCommExceptionText : public ::testing::TestWithParam<TextCase> {};

TEST_P(SerialCommExceptionText, NamesThePortInTheCauseText)
{
    const COXSerialCommException e(GetParam().cause, "COM3");
    char buffer[256];
    UINT help = 0;
    EXPECT_TRUE(e.GetErrorMessage(buffer, sizeof buffer, &help));
    EXPECT_STREQ(buffer, GetParam().text);
    EXPECT_EQ(help, 23210u + static_cast<UINT>(GetParam().cause));
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SerialCommExceptionText,
    ::testing::Values(TextCase{0, "No Error"},
                      TextCase{1, "COM3:\nThe selected COM port is either not supported\nor is being used by another "
                                  "application.\nPlease select another port."},
                      TextCase{2, "COM3:\nBreak Detect !"}, TextCase{3, "COM3:\nRx Timeout !"},
                      TextCase{4, "COM3:\nClear To Send Timeout !"}, TextCase{5, "COM3:\nData Set Ready Timeout !"},
                      TextCase{6, "COM3:\nCarrier Detect Timeout !"}, TextCase{7, "COM3:\nFrame Error !"},
                      TextCase{8, "COM3:\nParity Error !"}, TextCase{9, "COM3:\nOverrun Error !"},
                      TextCase{10, "COM3:\nRx Buffer Overflow !"}, TextCase{11, "COM3:\nTx Buffer Full !"},
                      TextCase{12, "COM3:\nUnexpected WM_QUIT received !"}, TextCase{13, "COM3:\nI/O Error !"},
                      TextCase{14, "COM3:\nMode Error ! (request mode not supported)"},
                      TextCase{15, "COM3:\nUnknown Error !"}, TextCase{20, "COM3:\nUnknown Error !"},
                      TextCase{-1, "COM3:\nUnknown Error !"}));

TEST(COXSerialCommException, EmptyPortNameReadsUnknownName)
{
    const COXSerialCommException e(COXSerialCommException::frameError);
    EXPECT_EQ(e.GetErrorMessage(), "Unknown Name:\nFrame Error !");
}

TEST(COXSerialCommException, ShortBufferGetsATerminatedPrefix)
{
    const COXSerialCommException e(COXSerialCommException::ioError, "COM12");
    char buffer[9];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(e.GetErrorMessage(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "COM12:\nI");

    char one[1] = {'x'};
    EXPECT_TRUE(e.GetErrorMessage(one, 1));
    EXPECT_EQ(one[0], '\0');
    EXPECT_FALSE(e.GetErrorMessage(nullptr, 0));
}

TEST(COXSerialCommException, IsAGenericFileExceptionThrownByValue)
{
    try {
        AfxThrowSerialCommException(COXSerialCommException::parityError, "COM2");
    } catch (const CFileException& e) {
        EXPECT_TRUE(e.IsKindOf(RUNTIME_CLASS(COXSerialCommException)));
        EXPECT_EQ(e.m_cause, CFileException::genericException);
        EXPECT_EQ(e.m_lOsError, -1);
        EXPECT_EQ(static_cast<const COXSerialCommException&>(e).m_nCause, 8);
        EXPECT_STREQ(e.what(), "COM2:\nParity Error !");
        return;
    }
    ADD_FAILURE() << "nothing thrown";
}

} // namespace
