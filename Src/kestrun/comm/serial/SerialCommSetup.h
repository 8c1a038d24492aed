#pragma once
// The "Serial Comm Setup" dialog (template 23230) without its window: it edits a
// copy of serial settings through one text per drop-down list. A window layer
// shows the texts and calls Save on OK; without one (headless, service mode) the
// dialog ends as Cancel and changes nothing.
#include "kestrun/comm/serial/SerialCommConfig.h"

#include <functional>
#include <string>

class COXSerialCommSetup {
public:
    enum { IDD = 23230 };
    // The text told when the chosen port cannot be opened.
    enum { IDS_PORT_NOT_AVAILABLE = 23204 };
    enum ControlId {
        IDC_PORT = 23231,
        IDC_BAUD_RATE = 23232,
        IDC_DATA_BITS = 23233,
        IDC_PARITY = 23234,
        IDC_STOP_BITS = 23235,
        IDC_FLOW_CONTROL = 23236,
    };

    // Shows the dialog and returns COMM_DLG_OK or COMM_DLG_CANCEL. On OK it has
    // called Save and it succeeded.
    using Presenter = std::function<int(COXSerialCommSetup&)>;

    // Fills the texts from a copy of config.
    COXSerialCommSetup(const COXSerialCommConfig& config, std::string caption);

    // Runs the installed presenter; COMM_DLG_CANCEL without one.
    int DoModal();
    // Installed once by the user interface at start-up; an empty one removes it.
    static void SetPresenter(Presenter presenter);

    // The OK step: the copy takes the texts, then the port must be free. False
    // (the copy unchanged) when the port text names no port or the port cannot be
    // opened; the latter is told through notice, and badControl names the port list.
    bool Save(int* badControl = nullptr, const COXSerialCommConfig::Notice& notice = {});

    // The caption given, or the template's when it is empty.
    std::string GetCaption() const;
    const COXSerialCommConfig& GetConfig() const { return m_config; }

    // List entries, in order.
    static constexpr const char* kBaudRates[] = {"110",   "300",   "600",   "1200",   "2400",
                                                 "4800",  "9600",  "14400", "19200",  "38400",
                                                 "56000", "57600", "115200", "128000", "256000"};
    static constexpr const char* kDataBits[] = {"5", "6", "7", "8"};
    static constexpr const char* kParities[] = {"No Parity", "Odd", "Even", "Mark", "Space"};
    static constexpr const char* kStopBits[] = {"1", "2"};
    static constexpr const char* kFlowControls[] = {"None", "Hardware", "Xon / Xoff"};

    std::string m_strPort;
    std::string m_strBaudRate;
    std::string m_strDataBits;
    std::string m_strParity;
    std::string m_strStopBits;
    std::string m_strFlowControl;

private:
    COXSerialCommConfig m_config;
    std::string m_strCaption;
};
