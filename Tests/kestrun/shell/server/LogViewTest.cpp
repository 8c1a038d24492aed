// The log view: line forms and filters, the hint lines, the kept lines.
#include "kestrun/shell/server/LogView.h"

#include <gtest/gtest.h>

#include <functional>

#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryVariant.h"
#include "kestrun/shell/server/LogHints.h"
#include "support/CommaLocale.h"
#include "support/shell/ShellHarness.h"

namespace {

using kestrun::FormatLogLine;
using kestrun::LogFilters;

TEST(LogLine, KindsAndFiltersDecideWhatIsShown)
{
    LogFilters simple;
    simple.noTrace = false;
    simple.traceSimple = true;
    LogFilters quiet;
    quiet.events = quiet.commands = quiet.errors = quiet.info = false;
    LogFilters debug;
    debug.debug = true;
    struct Case {
        int kind;
        const char* text;
        const LogFilters* filters;
        const char* line; // null: not shown
    } cases[] = {
        {LOG_EVENT, "e\r\n", nullptr, "10:00:00 Event : e\r\n"},
        {LOG_ACTION, "a\r\n", nullptr, nullptr},
        {LOG_COMMAND, "c\r\n", nullptr, "10:00:00 Command : c\r\n"},
        {LOG_ERROR, "x\r\n", nullptr, "10:00:00 Error : x\r\n"},
        {LOG_INFO, "i\r\n", nullptr, "10:00:00 Info : i\r\n"},
        {LOG_TRACE, "0123456789A", nullptr, nullptr},
        {LOG_TRACE, "0123456789", &simple, nullptr},
        {LOG_TRACE, "0123456789A", &simple, "10:00:00 Trace : 0123456789A"},
        {LOG_DEBUG, "d\r\n", nullptr, nullptr}, // only when asked for
        {LOG_DEBUG, "d\r\n", &debug, "10:00:00 DEBUG : d\r\n"},
        {LOG_RAW, "raw", &quiet, "raw"},
        // A text with a line feed of its own cannot start a forged line.
        {LOG_ERROR, "Cannot open a.mme\n12:00:00 Info : forged!\r\n", nullptr,
         "10:00:00 Error : Cannot open a.mme\\n12:00:00 Info : forged!\r\n"},
        {LOG_INFO, "bell\a esc\x1B tab\tkept\r\n", nullptr, "10:00:00 Info : bell\\x07 esc\\x1B tab\tkept\r\n"},
        {LOG_RAW, "a\rb\r\n", &quiet, "a\\rb\r\n"},
        {LOG_INITVALUE, "v\r\n", nullptr, nullptr},
        {LOG_INFO, "i\r\n", &quiet, nullptr},
        {9, "?", nullptr, nullptr},
        {-1, "?", nullptr, nullptr},
    };
    const LogFilters defaults;
    for (const Case& c : cases) {
        const auto line = FormatLogLine(c.kind, c.text, "10:00:00", c.filters ? *c.filters : defaults);
        if (c.line)
            EXPECT_EQ(line, std::optional<std::string>(c.line)) << c.kind << " " << c.text;
        else
            EXPECT_FALSE(line) << c.kind << " " << c.text;
    }
}

class LogViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shell.OpenDocument());
        view = shell.LogView();
        ASSERT_NE(view, nullptr);
        device = CdsServerDoc::GetDevices()->GetDeviceObjectByTopic("PLC1");
        ASSERT_NE(device, nullptr);
        block = device->FindMemoryArray("D0", -1);
        ASSERT_NE(block, nullptr);
        point = block->GetMemoryObject(0);
        auto* made = dynamic_cast<CdsMemoryVariant*>(block->CreateMemoryVariant(point->GetName(), "F"));
        ASSERT_NE(made, nullptr);
        made->SetVariant(point->GetName(), "F", 0);
        variant = made;
        view->FilterLogMessage(LOG_ACTION, 1);
        view->FilterLogMessage(LOG_INITVALUE, 1);
    }

    // The text the view showed for the hint, or nothing.
    std::optional<std::string> Logged(int code, CdsHint* hint)
    {
        const std::size_t before = shell.LogTexts().size();
        view->OnUpdate(nullptr, code, hint);
        if (shell.LogTexts().size() == before)
            return std::nullopt;
        return shell.LogTexts().back();
    }

    testsupport::ShellHarness shell{std::chrono::system_clock::from_time_t(1704103200)}; // 10:00:00 UTC
    CdsLogView* view = nullptr;
    CdsDeviceObject* device = nullptr;
    CdsMemoryArray* block = nullptr;
    CdsMemoryObject* point = nullptr;
    CdsMemoryObject* variant = nullptr;
};

_BRISANTDATAVALUE Short(SHORT n)
{
    _BRISANTDATAVALUE value{};
    value.iVal = n;
    return value;
}

_BRISANTDATAVALUE Float(float f)
{
    _BRISANTDATAVALUE value{};
    value.fltVal = f;
    return value;
}

TEST_F(LogViewTest, HintLinesAreTheGoldenTexts)
{
    using Make = std::function<CdsHint()>;
    const Make onPoint = [&] { return CdsHint::ForValue(point, BRISANT_SHORT, Short(7)); };
    const Make onVariant = [&] { return CdsHint::ForValue(variant, BRISANT_FLOAT, Float(1.5f)); };
    const Make unknownAction = [] {
        CdsHint hint = CdsHint::ForText("PLC1", "X");
        hint.m_nNumber = 99;
        return hint;
    };
    const Make generateFailed = [] {
        CdsHint hint = CdsHint::ForText("PLC1", "X");
        hint.m_nNumber = 11;
        return hint;
    };
    const Make onBlock = [&] { return CdsHint::ForObject(block); };
    const Make onDevice = [&] { return CdsHint::ForObject(device); };
    const Make noPoint = [] { return CdsHint::ForValue(nullptr, BRISANT_SHORT, Short(7)); };
    struct Case {
        int code;
        Make hint;
        const char* line; // null: nothing logged
    } cases[] = {
        {101, onPoint, "10:00:00 Event : New data [PLC1]D0:0 <- 7\r\n"},
        {102, onVariant, "10:00:00 Event : New data [PLC1]D0:0 F<- 1.500000\r\n"},
        {103, onPoint, "10:00:00 Event : Initial data [PLC1]D0:0 <- 7\r\n"},
        {104, onVariant, "10:00:00 Event : Initial data [PLC1]D0:0 F<- 1.500000\r\n"},
        {100, onPoint, nullptr},
        {205, [] { return CdsHint::ForText("PLC1"); }, "10:00:00 Action : 5 (DESTROY_TOPIC) = [PLC1]\r\n"},
        {210, [] { return CdsHint::ForText("", "D0:0"); }, "10:00:00 Action : 10 (ITEM_DESTROY) = D0:0\r\n"},
        {211, [] { return CdsHint::ForText("PLC1", "D0:0"); }, "10:00:00 Action : 11 (ITEM_GENERATE) = [PLC1]D0:0\r\n"},
        {231, [] { return CdsHint(); }, "10:00:00 Action : 31 (OPC_GET_BROWSE_INFO)\r\n"},
        {232, [] { return CdsHint(); }, nullptr},
        {303, onDevice, "10:00:00 Command : Online requested\r\n"},
        {305, onPoint, "10:00:00 Command : New command [PLC1]D0:0 <- 7\r\n"},
        {305, noPoint, "10:00:00 Command : New command <- 7\r\n"},
        {304, onDevice, nullptr},
        {401, unknownAction, "10:00:00 Error : Action 99((null)) failed!\r\n"},
        {401, generateFailed, "10:00:00 Error : Action 11(ITEM_GENERATE) failed! = [PLC1]X\r\n"},
        {403, onPoint, "10:00:00 Error : New data [PLC1]D0:0 <- 7 Failed!\r\n"},
        {405, [] { CdsHint h; h.m_nNumber = 12; return h; }, "10:00:00 Error : Invalid index 12!\r\n"},
        {406, onBlock, "10:00:00 Error : Invalid Status Query [PLC1]D0 (length = -1)\r\n"},
        {409, onDevice, "10:00:00 Error : Invalid Monitor Query [PLC1]\r\n"},
        {413, onPoint, "10:00:00 Error : Command failed! [PLC1]D0:0\r\n"},
        {413, onVariant, "10:00:00 Error : Command failed! [PLC1]D0:0 F\r\n"},
        {413, noPoint, "10:00:00 Error : Command failed!\r\n"},
        {413, [&] { CdsHint h = onPoint(); h.m_strReason = "block W takes no writes"; return h; },
         "10:00:00 Error : Command failed! [PLC1]D0:0: block W takes no writes\r\n"},
        {413, [] { CdsHint h = CdsHint::ForText("PLC1", "D9"); h.m_strReason = "\"x\" is no number"; return h; },
         "10:00:00 Error : Command failed! [PLC1]D9: \"x\" is no number\r\n"},
        {410, onPoint, nullptr},
        {501, [] { return CdsHint::ForText("/cfg/a.csv"); }, "10:00:00 Info : Importing from file /cfg/a.csv\r\n"},
        {502, [] { return CdsHint::ForText("/cfg/a.csv"); }, "10:00:00 Info : Exporting to file /cfg/a.csv\r\n"},
        {503, [] { return CdsHint(); }, nullptr},
        {504, [] { return CdsHint(); }, nullptr},
        {505, [] { return CdsHint::ForText("PLC2"); }, "10:00:00 Info : Topic [PLC2] added\r\n"},
        {506, [] { return CdsHint::ForText("PLC1", "D9"); }, "10:00:00 Info : Item [PLC1]D9 added\r\n"},
        {507, [] { return CdsHint(); }, "10:00:00 Info : Mode to Online\r\n"},
        {508, [] { return CdsHint(); }, "10:00:00 Info : Mode to Offline\r\n"},
        {509, onDevice, nullptr},
        {510, onDevice, "10:00:00 Info : Device [PLC1] turn off the command diagnostic function\r\n"},
        {511, onDevice, "10:00:00 Info : Device [PLC1] redundancy enabled\r\n"},
        {650, onDevice, nullptr},
    };
    for (const Case& c : cases) {
        CdsHint hint = c.hint();
        const auto line = Logged(c.code, &hint);
        if (c.line)
            EXPECT_EQ(line, std::optional<std::string>(c.line)) << c.code;
        else
            EXPECT_FALSE(line) << c.code;
    }
    device->m_bCommandDiag = TRUE;
    CdsHint diag = onDevice();
    EXPECT_EQ(Logged(510, &diag), "10:00:00 Info : Device [PLC1] has new command diag time 5000 (msecs)\r\n");
}

TEST_F(LogViewTest, HintWithoutRecordKeepsTheTextFormedBeforeIt)
{
    EXPECT_EQ(Logged(401, nullptr), "10:00:00 Error : ");
    EXPECT_EQ(Logged(205, nullptr), "10:00:00 Action : 5 (DESTROY_TOPIC)");
    EXPECT_EQ(Logged(207, nullptr), "10:00:00 Action : 7 (TIMER_FIRED)\r\n");
    EXPECT_EQ(Logged(507, nullptr), "10:00:00 Info : Mode to Online\r\n");
}

TEST_F(LogViewTest, FilteredHintCodesAreNotLogged)
{
    CdsHint hint = CdsHint::ForValue(point, BRISANT_SHORT, Short(7));
    view->FilterLogMessage(LOG_INITVALUE, 0);
    EXPECT_FALSE(Logged(103, &hint));
    view->FilterLogMessage(LOG_INITVALUE, 1);
    view->FilterLogMessage(LOG_EVENT, 0);
    EXPECT_FALSE(Logged(101, &hint));
    EXPECT_FALSE(Logged(103, &hint)); // shown as an event
    view->FilterLogMessage(LOG_ERROR, 0);
    EXPECT_FALSE(Logged(413, &hint));
}

TEST(LogValueText, RealsPrintWithADotUnderACommaLocale)
{
    testsupport::CommaLocaleScope comma;
    if (!comma.Ok())
        GTEST_SKIP() << "no comma-decimal locale could be made (localedef, package locales)";
    _BRISANTDATAVALUE v{};
    v.fltVal = 1.5f;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_FLOAT), "1.500000");
    v.dblVal = -0.25;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_DOUBLE), "-0.250000");
}

TEST(LogValueText, EveryTypeHasItsText)
{
    _BRISANTDATAVALUE v{};
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_BOOL), "Off");
    v.boolVal = -1;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_BOOL), "On");
    v.ullVal = 0;
    v.cVal = 'A';
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_CHAR), "A");
    v.ullVal = 0;
    v.wVal = 65535;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_WORD), "65535");
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_SHORT), "-1");
    v.dblVal = 2.25;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_DOUBLE), "2.250000");
    v.ullVal = 0;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_STRING), "(null)");
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_FIXEDSTRING), "(null)");
    char text[] = "abc";
    v.pszVal = text;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_STRING), "abc");
    BYTE counted[] = {2, 0, 'x', 'y', 'z', 0};
    v.pcsVal = counted;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_FIXEDSTRING), "xy");
    // A poke of an empty text is logged as that, not as a missing one.
    char empty[] = "";
    v.pszVal = empty;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_STRING), "");
    BYTE none[] = {0, 0, 0};
    v.pcsVal = none;
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_FIXEDSTRING), "");
    EXPECT_EQ(kestrun::GetValueString(v, 40), "???");
    EXPECT_EQ(kestrun::GetValueString(v, BRISANT_LONGARRAY), "");
}

TEST_F(LogViewTest, FortiethLineCutsTheFirstTenLines)
{
    const std::size_t before = shell.LogTexts().size();
    for (int i = 1; i <= 45; ++i)
        view->ShowMessage(LOG_RAW, "line " + std::to_string(i) + "\r\n");
    // The welcome line is line 1, so raw line 39 is the 40th: the first ten go
    // before it and 36 lines stay (and the empty one after the last line end).
    EXPECT_EQ(shell.windows.log->cuts, 10);
    EXPECT_EQ(shell.LogTexts().size() - before, 45u);
    EXPECT_EQ(view->GetLineCount(), 37);
    EXPECT_EQ(view->GetText().substr(0, 9), "line 10\r\n");
}

TEST_F(LogViewTest, TextLimitPushesOutTheOldestLines)
{
    const std::string wide(600, 'w');
    for (int i = 0; i < 39; ++i)
        view->ShowMessage(LOG_RAW, wide + "\r\n");
    const std::string& text = view->GetText();
    EXPECT_LE(text.size(), kestrun::LogTextBuffer::kTextLimit);
    EXPECT_EQ(text.size() % (wide.size() + 2), 0u); // whole lines only
    EXPECT_EQ(text.substr(0, wide.size()), wide);
}

TEST_F(LogViewTest, ViewCommandsToggleAndLogTheirLine)
{
    struct Case {
        CdsLogView::Command command;
        const char* line;
        bool checked;
    } cases[] = {
        {CdsLogView::Command::Events, "Change view event flag to Off\r\n", false},
        {CdsLogView::Command::Actions, "View action flag to Off\r\n", false},
        {CdsLogView::Command::Commands, "View command flag to Off\r\n", false},
        {CdsLogView::Command::InitValues, "View initial values flag to Off\r\n", false},
        {CdsLogView::Command::TraceSimple, "View trace flag to Simple\r\n", true},
        {CdsLogView::Command::TraceDetail, "View trace flag to Detail\r\n", true},
        {CdsLogView::Command::NoTrace, "View trace flag to Off\r\n", true},
        {CdsLogView::Command::Errors, "View error flag to Off\r\n", false},
    };
    for (const Case& c : cases) {
        view->OnViewCommand(c.command);
        EXPECT_EQ(view->IsCommandChecked(c.command), c.checked);
        EXPECT_EQ(shell.LogTexts().back(), std::string("10:00:00 Info : ") + c.line);
    }
    EXPECT_FALSE(view->IsCommandChecked(CdsLogView::Command::TraceDetail));
    EXPECT_EQ(CdsServerFrame::g_bViewErrors.load(), 0); // stored through the main window
    view->OnViewCommand(CdsLogView::Command::Errors);
    EXPECT_EQ(CdsServerFrame::g_bViewErrors.load(), 1);
}

} // namespace
