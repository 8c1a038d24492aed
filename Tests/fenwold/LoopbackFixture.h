#pragma once
// A MELSEC device of one frame kind on a line to the simulated PLC, or to the PLC
// that TESSARO_TEST_PLC names when it speaks that kind (TESSARO_TEST_PLC_KINDS).
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "fenwold/PlcLink.h"
#include "support/OptionScope.h"
#include "support/model/ModelFakes.h"
#include "support/plcsim/TestPlc.h"

namespace fenwoldtest {

using testsupport::OptionScope;

class LoopbackBase : public testing::Test {
protected:
    virtual const PlcKind& Kind() const = 0;

    void SetUp() override
    {
        if (!plc.ok())
            GTEST_SKIP() << "no PLC: " << plc.error();
        if (!plc.speaks(Kind().frame, Kind().ascii))
            GTEST_SKIP() << "the PLC does not speak " << Kind().name;
        ASSERT_TRUE(link.Open(plc.host(), plc.port(), Kind()));
    }

    plcsim::Server* Sim() { return plc.simulator(); }
    bool Is1E() const { return Kind().frame == plcsim::FrameKind::E1; }
    bool Is4E() const { return Kind().frame == plcsim::FrameKind::E4; }
    // The first element of this kind's region of every device.
    DWORD Base() const { return PlcLink::Region(Kind().region); }

    plcsim::TestPlc plc;
    PlcLink link;
};

template <class Param>
class KindTest : public testing::WithParamInterface<Param>, public LoopbackBase {
protected:
    const PlcKind& Kind() const override
    {
        if constexpr (std::is_same_v<Param, PlcKind>)
            return this->GetParam();
        else
            return std::get<0>(this->GetParam());
    }
};

// Tests that inject faults or look into the simulator: they skip against an outside PLC.
template <class Param>
class SimKindTest : public KindTest<Param> {
protected:
    void SetUp() override
    {
        KindTest<Param>::SetUp();
        if (!this->IsSkipped() && !this->HasFatalFailure() && !this->Sim())
            GTEST_SKIP() << "needs the simulator's fault injection or memory";
    }
};

inline std::string KindName(const testing::TestParamInfo<PlcKind>& info) { return info.param.name; }

// "E3Binary_D": a kind and a row of a table, each with a name.
template <class Row>
std::string KindAnd(const testing::TestParamInfo<std::tuple<PlcKind, Row>>& info)
{
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

}  // namespace fenwoldtest
