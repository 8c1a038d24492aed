#pragma once
// Types of the DDE toolkit's interface: data type codes, the 8-byte value cell,
// the action record handed to the server's callback, and the handles.
#include <cstddef>

#include "platform/win/WinTypes.h"

// Data type codes; -1 means "not set" wherever a field holds a type.
enum BRISANT_DATATYPE : std::int32_t {
    BRISANT_NOTYPE = -1,
    BRISANT_BOOL = 0,
    BRISANT_CHAR = 1,
    BRISANT_BYTE = 2,
    BRISANT_SHORT = 3,
    BRISANT_WORD = 4,
    BRISANT_LONG = 5,
    BRISANT_DWORD = 6,
    BRISANT_FLOAT = 7,
    BRISANT_DOUBLE = 8,
    BRISANT_STRINGHANDLE = 9,
    BRISANT_STRING = 10,
    BRISANT_FIXEDSTRING = 11,
    BRISANT_BOOLARRAY = 12,
    BRISANT_CHARARRAY = 13,
    BRISANT_BYTEARRAY = 14,
    BRISANT_SHORTARRAY = 15,
    BRISANT_WORDARRAY = 16,
    BRISANT_LONGARRAY = 17,
    BRISANT_DWORDARRAY = 18,
    BRISANT_FLOATARRAY = 19,
    BRISANT_DOUBLEARRAY = 20,
    BRISANT_STRINGARRAY = 21,
    BRISANT_FIXEDSTRINGARRAY = 22,
    BRISANT_BCD = 32,
    BRISANT_LOBYTE = 33,
    BRISANT_HIBYTE = 34,
    BRISANT_LOWORD = 35,
    BRISANT_HIWORD = 36,
    BRISANT_FLOAT_B = 37,
    BRISANT_FLOAT_L = 38,
    BRISANT_FLOAT_M = 39,
    BRISANT_FLOAT_X = 40,
    BRISANT_DOUBLE_B = 41,
    BRISANT_DOUBLE_L = 42,
    BRISANT_DOUBLE_M = 43,
    BRISANT_DOUBLE_X = 44,
};

// One value, interpreted through a BRISANT_DATATYPE. Texts (10, 11) and arrays
// (12-22) are pointers to blocks on the toolkit heap.
union _BRISANTDATAVALUE {
    // First, so that an empty initialiser ("{}") zeroes all 8 bytes with every
    // compiler, not only the first member's.
    ULONGLONG ullVal;
    SHORT boolVal;
    signed char cVal;
    BYTE bVal;
    SHORT iVal;
    WORD wVal;
    LONG lVal;
    DWORD dwVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    char* pszVal;   // 10: zero-terminated text
    BYTE* pcsVal;   // 11: 16-bit character count, then the characters
    BYTE* parrVal;  // 12-22: array block (see BrisantBlocks.h)
    DWORD dw[2];    // low and high 32-bit halves
};
static_assert(sizeof(_BRISANTDATAVALUE) == 8, "the value cell is 8 bytes");
static_assert(sizeof(void*) <= 8, "a heap pointer must fit the value cell");

using BRISANTDATAVALUE = _BRISANTDATAVALUE;

// Handle of a toolkit heap; 0 is none.
using HBRISANTHEAP = DWORD;

// The record passed with every callback action. The toolkit owns it; the
// callback reads the fields its action uses and writes the returned ones.
struct _BRISANT_DATAACTION {
    const char* pszText = nullptr;   // item, topic or command text; list actions: returned topic name
    char* pszReturn = nullptr;       // returned text (system request)
    char* pszServerName = nullptr;   // server information buffers
    int nServerNameSize = 0;
    char* pszCompany = nullptr;
    int nCompanySize = 0;
    void* pTopic = nullptr;          // the server's topic record of the action
    void* pItem = nullptr;           // the server's item record of the action
    LONG nReturnLength = 0;
    _BRISANTDATAVALUE value{};
    DWORD hItem = 0;
    DWORD hTopic = 0;
    BRISANT_DATATYPE nDataType = BRISANT_NOTYPE;
    LONG nQuality = 0;               // quality, or a returned error code (user error)
    LONG nUserErrorKind = 0;
    char* pszInfo[4] = {};           // server information texts
    int nInfoSize[4] = {};
    DWORD dwServerId = 0;
    LONG nListPos = 0;               // topic list position
};

using BRISANT_DATAACTION = _BRISANT_DATAACTION;

// The server's action callback: (action code, action record) -> result.
using BRISANTACTIONPROC = long (*)(int nAction, _BRISANT_DATAACTION* pAction);
