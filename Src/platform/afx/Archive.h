#pragma once
// Binary archive in the MFC archive format, byte for byte (little-endian).
//
//   numbers     BYTE 1, WORD/short 2, int/LONG/DWORD/UINT/float 4,
//               LONGLONG/ULONGLONG/double 8, bool 1 (0 or 1)
//   strings     length 0..254 in one byte; else 0xFF + WORD (< 0xFFFE);
//               else 0xFF 0xFFFF + DWORD; 0xFF 0xFFFE in front marks UTF-16 text
//               (the length then counts UTF-16 units); loading UTF-16 gives UTF-8,
//               8-bit text is kept as its bytes and stored as such
//   counts      WORD (< 0xFFFF), else 0xFFFF + DWORD
//   objects     WORD tag: 0 null; 0xFFFF new class (schema WORD, name length WORD,
//               name bytes) then the object; 0x8000|n class n seen before, then the
//               object; n the object stored n-th; 0x7FFF + DWORD for indexes from
//               0x7FFF up (with 0x80000000 set for a class). Classes and objects share
//               one numbering from 1.
//
// Every failure throws CArchiveException (or CFileException from the file below);
// loading never reads past the end of the data.
#include "platform/afx/Exceptions.h"
#include "platform/afx/File.h"
#include "platform/afx/Object.h"

#include <concepts>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

class CArchive {
public:
    enum Mode : UINT { store = 0, load = 1 };

    // The file must outlive the archive. nBufSize is the read-ahead / write-behind
    // buffer; on loading the archive gives unread buffered bytes back to a seekable
    // file when it is closed.
    CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096);
    // Flushes a storing archive that was not closed; errors are lost here, so
    // callers that must know call Close().
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsLoading() const { return m_bLoading; }
    bool IsStoring() const { return !m_bLoading; }
    CFile* GetFile() const { return m_pFile; }

    // Stores: writes out the buffer. Loads: gives unread bytes back to the file.
    void Flush();
    // Flush, then detach from the file; the archive cannot be used afterwards.
    void Close();
    // Detach without writing anything.
    void Abort();

    // Raw bytes. Read returns how many it got (less only at the end of the data).
    UINT Read(void* lpBuf, UINT nMax);
    void Write(const void* lpBuf, UINT nMax);

    // Numbers.
    CArchive& operator<<(BYTE by);
    CArchive& operator<<(char ch);
    CArchive& operator<<(bool b);
    CArchive& operator<<(WORD w);
    CArchive& operator<<(SHORT w);
    CArchive& operator<<(char16_t ch);
    CArchive& operator<<(LONG l);
    CArchive& operator<<(DWORD dw);
    CArchive& operator<<(LONGLONG ll);
    CArchive& operator<<(ULONGLONG ull);
    CArchive& operator<<(float f);
    CArchive& operator<<(double d);

    CArchive& operator>>(BYTE& by);
    CArchive& operator>>(char& ch);
    CArchive& operator>>(bool& b);
    CArchive& operator>>(WORD& w);
    CArchive& operator>>(SHORT& w);
    CArchive& operator>>(char16_t& ch);
    CArchive& operator>>(LONG& l);
    CArchive& operator>>(DWORD& dw);
    CArchive& operator>>(LONGLONG& ll);
    CArchive& operator>>(ULONGLONG& ull);
    CArchive& operator>>(float& f);
    CArchive& operator>>(double& d);

    // Strings (the CString record).
    CArchive& operator<<(std::string_view s);
    CArchive& operator<<(const char* s) { return *this << std::string_view(s ? s : ""); }
    CArchive& operator>>(std::string& s);

    // No other pointer is written by accident (as a bool).
    template <class T>
        requires(!std::is_base_of_v<CObject, std::remove_cv_t<T>> && !std::is_same_v<std::remove_cv_t<T>, char>)
    CArchive& operator<<(T*) = delete;

    // Collection counts.
    void WriteCount(DWORD dwCount);
    DWORD ReadCount();

    // Objects. WriteObject stores null, a back reference to an object already stored,
    // or the object's class (by name, first time only) and its Serialize record.
    void WriteObject(const CObject* pOb);
    // Loads an object: null, one loaded before from this archive (a back reference,
    // still owned by whoever took it first), or a new one the caller now owns.
    // With pClassRefRequested, an object of another kind fails with badClass.
    // A new object whose Serialize throws is freed before the exception goes on.
    CObject* ReadObject(const CRuntimeClass* pClassRefRequested);
    // Like ReadObject, for owners: a back reference (an object someone else owns)
    // fails with badIndex, so no object ends up with two owners. Null stays null.
    std::unique_ptr<CObject> ReadNewObject(const CRuntimeClass* pClassRefRequested);
    template <class T>
    std::unique_ptr<T> ReadNew()
    {
        return std::unique_ptr<T>(static_cast<T*>(ReadNewObject(T::GetThisClass()).release()));
    }

    // Inside Serialize on loading: the schema stored with the object's class. Valid
    // once per object; afterwards (and when storing) it is (UINT)-1.
    UINT GetObjectSchema();

    const std::string& GetFileName() const { return m_strFileName; }

private:
    enum class LoadKind : BYTE { Class, Object, Freed };
    struct LoadEntry {
        const void* p;
        LoadKind kind;
        UINT schema; // a class's stored schema
    };

    [[noreturn]] void Throw(int cause) const;
    void CheckMode(bool wantLoading) const;
    void FillBuffer(std::size_t nNeeded);
    std::size_t ReadSome(void* p, std::size_t n);
    void ReadExact(void* p, std::size_t n);
    void WriteBytes(const void* p, std::size_t n);
    template <class T> void WriteLE(T v);
    template <class T> T ReadLE();
    std::size_t ReadStringLength(bool& bUtf16);
    void WriteClass(const CRuntimeClass* pClassRef);
    const CRuntimeClass* ReadClass(const CRuntimeClass* pClassRefRequested, UINT& nSchema, DWORD& obTag);
    CObject* ReadObjectImpl(const CRuntimeClass* pClassRefRequested, bool bNewOnly);
    DWORD NextMapIndex();

    CFile* m_pFile;
    bool m_bLoading;
    bool m_bReadAhead = false; // only seekable files: unread bytes can be given back
    std::vector<BYTE> m_buffer;
    std::size_t m_nCur = 0; // next byte to read / next free byte
    std::size_t m_nMax = 0; // loading: end of valid bytes in the buffer
    std::string m_strFileName;
    UINT m_nObjectSchema = static_cast<UINT>(-1);

    DWORD m_nMapCount = 1; // index 0 is null
    std::unordered_map<const void*, DWORD> m_storeMap;
    std::vector<LoadEntry> m_loadArray;
};

CArchive& operator<<(CArchive& ar, const CObject* pOb);
CArchive& operator>>(CArchive& ar, CObject*& pOb);
CArchive& operator>>(CArchive& ar, const CObject*& pOb);

namespace afx {

// The CObArray/CObList record: the count, then each object (null allowed).
// Elements are CObject pointers or smart pointers to them.
template <class Range>
void WriteObjects(CArchive& ar, const Range& objects)
{
    DWORD n = 0;
    for (const auto& p : objects) {
        (void)p;
        ++n;
    }
    ar.WriteCount(n);
    for (const auto& p : objects)
        ar.WriteObject(std::to_address(p));
}

// Loads that record: sink(std::unique_ptr<T>) once per object, in stored order.
// Objects must be new ones of kind T (or null); the sink owns each one it is given,
// also when a later object fails to load.
template <class T, class Sink>
void ReadObjects(CArchive& ar, Sink&& sink)
{
    for (DWORD n = ar.ReadCount(); n > 0; --n)
        sink(ar.template ReadNew<T>());
}

// The CMapStringToOb record: the count, then per entry the key string and the object.
// Elements are pairs (std::map / unordered_map / vector of pairs) of key and pointer.
template <class Range>
void WriteObjectMap(CArchive& ar, const Range& entries)
{
    DWORD n = 0;
    for (const auto& e : entries) {
        (void)e;
        ++n;
    }
    ar.WriteCount(n);
    for (const auto& [key, p] : entries) {
        ar << std::string_view(key);
        ar.WriteObject(std::to_address(p));
    }
}

// Loads that record: sink(std::string key, std::unique_ptr<T>) per entry; the sink
// decides what a repeated key means (and owns the object either way).
template <class T, class Sink>
void ReadObjectMap(CArchive& ar, Sink&& sink)
{
    for (DWORD n = ar.ReadCount(); n > 0; --n) {
        std::string key;
        ar >> key;
        sink(std::move(key), ar.template ReadNew<T>());
    }
}

} // namespace afx
