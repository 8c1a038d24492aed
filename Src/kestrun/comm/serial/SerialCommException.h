#pragma once
// A serial port failure: a file exception that names the port and says which
// port condition caused it.
#include "platform/afx/Exceptions.h"

#include <string>

class COXSerialCommException : public CFileException {
    DECLARE_DYNCREATE(COXSerialCommException)
public:
    enum VALUE {
        noError = 0,
        notAvailable = 1,
        breakDetect = 2,
        rxTimeout = 3,
        ctsTimeout = 4,
        dsrTimeout = 5,
        cdTimeout = 6,
        frameError = 7,
        parityError = 8,
        overrunError = 9,
        rxQueueOverflow = 10,
        txQueueFull = 11,
        wmQuitReceived = 12,
        ioError = 13,
        modeError = 14,
    };

    static constexpr UINT kHelpIdBase = 23210;

    explicit COXSerialCommException(int cause = noError, std::string portName = {});

    // Copies the cause's text, with "%1" replaced by the port name, into the buffer;
    // the copy is cut to fit and always terminated. Sets the help id (cause + 23210)
    // when asked. Returns TRUE (FALSE only for a buffer that holds no character).
    BOOL GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const;
    std::string GetErrorMessage() const override;

    // The text of a string-table entry of the serial range; empty for others.
    static const char* GetString(UINT nId);

    int m_nCause; // VALUE
};

[[noreturn]] void AfxThrowSerialCommException(int cause, const std::string& portName);
