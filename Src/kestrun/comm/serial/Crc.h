#pragma once
// Byte-at-a-time CRC registers for fieldbus frames.
#include "platform/win/WinTypes.h"

// CRC with the polynomial 0x1021, most significant bit first, in the augmented form:
// the CRC of a message is the register after the message and two zero bytes.
class CCrc16 {
public:
    explicit CCrc16(WORD initial = 0);
    void update(BYTE byte);
    WORD value() const { return m_register; }

private:
    WORD m_register;
};

// CRC with the reflected polynomial 0xEDB88320; no final XOR.
class CCrc32 {
public:
    explicit CCrc32(DWORD initial = 0);
    void update(BYTE byte);
    DWORD value() const { return m_register; }

private:
    DWORD m_register;
};
