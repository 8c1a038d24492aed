#include "kestrun/comm/serial/SerialCommConfig.h"

#include <gtest/gtest.h>

namespace {

TEST(COXSerialCommConfig, NamesFollowTheZeroBasedPortId)
{
    struct Case {
        WORD portId;
        const char* name;
        const char* path;
    };
    for (const Case& c : {Case{0, "COM1", "\\\\.\\COM1"}, Case{9, "COM10", "\\\\.\\COM10"},
                          Case{0xFFFE, "COM65535", "\\\\.\\COM65535"}}) {
        COXSerialCommConfig config;
        config.SetPortId(c.portId);
        EXPECT_EQ(config.GetCommName(), c.name);
        EXPECT_EQ(config.GetExtCommName(), c.path);
    }
}

TEST(COXSerialCommConfig, Defaults)
{
    COXSerialCommConfig c;
    EXPECT_EQ(c.GetPortType(), COMM_PORT_SERIAL);
    EXPECT_EQ(c.m_nBaudRate, 19200u);
    EXPECT_EQ(c.m_nDataBits, 7);
    EXPECT_EQ(c.m_nParity, 2);
    EXPECT_EQ(c.m_nStopBits, 0);
    EXPECT_EQ(c.m_eFlowControl, COXSerialCommConfig::NONE);
    EXPECT_EQ(c.m_nRxQueueSize, 4096u);
    EXPECT_EQ(c.m_nTxQueueSize, 4096u);
    EXPECT_EQ(c.m_nFirstTimeOut, 2000u);
    EXPECT_EQ(c.m_nWriteTimeOut, 5000u);
    EXPECT_EQ(c.m_nReadTimeOut, 5000u);
}

} // namespace
