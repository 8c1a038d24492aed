#pragma once
// Running check values over memory blocks and files. A fresh object starts from -1
// (all bits set); there is no final XOR.
#include "kestrun/comm/serial/OXCRCTableList.h"
#include "platform/win/WinTypes.h"

#include <string>

class CFile;

class COXCheckBase {
public:
    enum ESize { SIZE_8 = 1, SIZE_16 = 2, SIZE_32 = 3 };

    virtual ~COXCheckBase() = default;

    void Reset() { m_value = 0xFFFFFFFFu; }
    DWORD GetValue() const { return m_value; }
    ESize GetSize() const { return m_size; }

    // Continues from the current value.
    DWORD CalculateBlock(const void* data, DWORD length);
    // Computes from start over the bytes; the result becomes the current value.
    virtual DWORD CalculateBlock(const void* data, DWORD length, DWORD start) = 0;

    // Reads the open file from its position in chunks of at most bufferSize bytes
    // (0 means 2048) until count bytes were read (0xFFFFFFFF: to the end) or a read
    // comes back short. A file exception restores the value and is passed on.
    virtual DWORD CalculateFile(CFile& file, DWORD count = 0xFFFFFFFFu, DWORD bufferSize = 2048);
    // The whole named file; failure to open throws the file exception.
    virtual DWORD CalculateFile(const std::string& fileName);

protected:
    explicit COXCheckBase(ESize size) : m_size(size) {}

    DWORD m_value = 0xFFFFFFFFu;
    ESize m_size;
};

// A CRC driven by the table of its polynomial; each width keeps its own table list.
class COXCRCBase : public COXCheckBase {
public:
    using COXCheckBase::CalculateBlock;
    const DWORD* GetTable() const { return m_pTable; }

protected:
    COXCRCBase(ESize size, const DWORD* pTable) : COXCheckBase(size), m_pTable(pTable) {}

    const DWORD* m_pTable;
};

class COXCRC16 : public COXCRCBase {
public:
    explicit COXCRC16(DWORD polynomial = 0x1021);
    using COXCRCBase::CalculateBlock;
    DWORD CalculateBlock(const void* data, DWORD length, DWORD start) override;

    static COXCRCTableList m_tableList;
};

class COXCRC32 : public COXCRCBase {
public:
    explicit COXCRC32(DWORD polynomial = 0xEDB88320u);
    using COXCRCBase::CalculateBlock;
    DWORD CalculateBlock(const void* data, DWORD length, DWORD start) override;

    static COXCRCTableList m_tableList;
};

class COXCheckSum8 : public COXCheckBase {
public:
    COXCheckSum8() : COXCheckBase(SIZE_8) {}
    using COXCheckBase::CalculateBlock;
    DWORD CalculateBlock(const void* data, DWORD length, DWORD start) override;
};

class COXCheckSum16 : public COXCheckBase {
public:
    COXCheckSum16() : COXCheckBase(SIZE_16) {}
    using COXCheckBase::CalculateBlock;
    DWORD CalculateBlock(const void* data, DWORD length, DWORD start) override;
};

class COXCheckSum32 : public COXCheckBase {
public:
    COXCheckSum32() : COXCheckBase(SIZE_32) {}
    using COXCheckBase::CalculateBlock;
    DWORD CalculateBlock(const void* data, DWORD length, DWORD start) override;
};
