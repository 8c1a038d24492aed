#include "platform/afx/Archive.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace {

constexpr WORD kNullTag = 0;
constexpr WORD kNewClassTag = 0xFFFF;
constexpr WORD kClassTag = 0x8000;
constexpr DWORD kBigClassTag = 0x80000000;
constexpr WORD kBigObjectTag = 0x7FFF;
constexpr DWORD kMaxMapCount = 0x3FFFFFFE;
// Longer stored class names are not names of ours.
constexpr WORD kMaxClassNameLength = 64;
// Strings are read in pieces, so a forged length costs no more memory than the
// bytes that are really there.
constexpr std::size_t kStringChunk = 64 * 1024;
constexpr std::size_t kMinBufferSize = 16;

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Little-endian UTF-16 units to UTF-8; a lone surrogate becomes U+FFFD.
void AppendUtf16AsUtf8(std::string& out, const BYTE* p, std::size_t nUnits, char16_t& pendingHigh)
{
    for (std::size_t i = 0; i < nUnits; ++i) {
        auto u = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        if (pendingHigh != 0) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(pendingHigh) - 0xD800) << 10) + (u - 0xDC00));
                pendingHigh = 0;
                continue;
            }
            AppendUtf8(out, 0xFFFD);
            pendingHigh = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            pendingHigh = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            AppendUtf8(out, 0xFFFD);
        else
            AppendUtf8(out, u);
    }
}

} // namespace

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize)
    : m_pFile(pFile), m_bLoading((nMode & load) != 0)
{
    if (m_pFile == nullptr)
        throw CArchiveException(CArchiveException::genericException);
    m_strFileName = m_pFile->GetFilePath();
    m_buffer.resize(std::max<std::size_t>(kMinBufferSize, nBufSize > 0 ? static_cast<std::size_t>(nBufSize) : 0));
    m_bReadAhead = m_bLoading && m_pFile->CanSeek();
}

CArchive::~CArchive()
{
    try {
        Close();
    } catch (...) {
        // Destructors cannot report; Close() is the call that does.
    }
}

void CArchive::Throw(int cause) const
{
    throw CArchiveException(cause, m_strFileName);
}

void CArchive::CheckMode(bool wantLoading) const
{
    if (m_pFile == nullptr)
        Throw(CArchiveException::genericException);
    if (wantLoading != m_bLoading)
        Throw(wantLoading ? CArchiveException::writeOnly : CArchiveException::readOnly);
}

void CArchive::Flush()
{
    if (m_pFile == nullptr)
        return;
    if (m_bLoading) {
        // Hand read-ahead bytes back, so the file stands just after the archive.
        std::size_t unread = m_nMax - m_nCur;
        m_nCur = m_nMax = 0;
        if (unread > 0 && m_pFile->CanSeek())
            m_pFile->Seek(-static_cast<LONGLONG>(unread), CFile::current);
    } else if (m_nCur > 0) {
        std::size_t n = m_nCur;
        m_nCur = 0;
        m_pFile->Write(m_buffer.data(), static_cast<UINT>(n));
    }
}

void CArchive::Close()
{
    if (m_pFile == nullptr)
        return;
    try {
        Flush();
    } catch (...) {
        m_pFile = nullptr;
        throw;
    }
    m_pFile = nullptr;
}

void CArchive::Abort()
{
    m_pFile = nullptr;
    m_nCur = m_nMax = 0;
}

// Makes at least nNeeded (<= buffer size) bytes available, or throws end of file.
void CArchive::FillBuffer(std::size_t nNeeded)
{
    std::size_t avail = m_nMax - m_nCur;
    if (avail >= nNeeded)
        return;
    if (m_nCur > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_nCur, avail);
        m_nCur = 0;
        m_nMax = avail;
    }
    while (m_nMax < nNeeded) {
        // Streams (ports, sockets) are asked only for what is needed now, so a
        // load never waits for bytes that belong to a later message.
        std::size_t want = m_bReadAhead ? m_buffer.size() - m_nMax : nNeeded - m_nMax;
        UINT n = m_pFile->Read(m_buffer.data() + m_nMax, static_cast<UINT>(want));
        if (n == 0)
            Throw(CArchiveException::endOfFile);
        m_nMax += n;
    }
}

std::size_t CArchive::ReadSome(void* lpBuf, std::size_t nMax)
{
    auto* p = static_cast<BYTE*>(lpBuf);
    std::size_t nDone = 0;
    while (nDone < nMax) {
        std::size_t avail = m_nMax - m_nCur;
        if (avail > 0) {
            std::size_t n = std::min(avail, nMax - nDone);
            std::memcpy(p + nDone, m_buffer.data() + m_nCur, n);
            m_nCur += n;
            nDone += n;
            continue;
        }
        std::size_t left = nMax - nDone;
        if (left >= m_buffer.size()) {
            // Large blocks go straight from the file.
            UINT want = static_cast<UINT>(std::min<std::size_t>(left, std::numeric_limits<UINT>::max()));
            UINT n = m_pFile->Read(p + nDone, want);
            if (n == 0)
                break;
            nDone += n;
            continue;
        }
        m_nCur = m_nMax = 0;
        std::size_t want = m_bReadAhead ? m_buffer.size() : left;
        UINT n = m_pFile->Read(m_buffer.data(), static_cast<UINT>(want));
        if (n == 0)
            break;
        m_nMax = n;
    }
    return nDone;
}

void CArchive::ReadExact(void* p, std::size_t n)
{
    if (ReadSome(p, n) != n)
        Throw(CArchiveException::endOfFile);
}

UINT CArchive::Read(void* lpBuf, UINT nMax)
{
    CheckMode(true);
    return static_cast<UINT>(ReadSome(lpBuf, nMax));
}

void CArchive::WriteBytes(const void* lpBuf, std::size_t n)
{
    const auto* p = static_cast<const BYTE*>(lpBuf);
    while (n > 0) {
        if (m_nCur == m_buffer.size()) {
            m_pFile->Write(m_buffer.data(), static_cast<UINT>(m_nCur));
            m_nCur = 0;
        }
        if (m_nCur == 0 && n >= m_buffer.size()) {
            UINT chunk = static_cast<UINT>(std::min<std::size_t>(n, std::numeric_limits<UINT>::max()));
            m_pFile->Write(p, chunk);
            p += chunk;
            n -= chunk;
            continue;
        }
        std::size_t k = std::min(n, m_buffer.size() - m_nCur);
        std::memcpy(m_buffer.data() + m_nCur, p, k);
        m_nCur += k;
        p += k;
        n -= k;
    }
}

void CArchive::Write(const void* lpBuf, UINT nMax)
{
    CheckMode(false);
    WriteBytes(lpBuf, nMax);
}

template <class T>
void CArchive::WriteLE(T v)
{
    CheckMode(false);
    BYTE bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<BYTE>(static_cast<std::uint64_t>(v) >> (8 * i));
    if (m_buffer.size() - m_nCur >= sizeof(T)) {
        std::memcpy(m_buffer.data() + m_nCur, bytes, sizeof(T));
        m_nCur += sizeof(T);
    } else {
        WriteBytes(bytes, sizeof(T));
    }
}

template <class T>
T CArchive::ReadLE()
{
    CheckMode(true);
    FillBuffer(sizeof(T));
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        v |= static_cast<std::uint64_t>(m_buffer[m_nCur + i]) << (8 * i);
    m_nCur += sizeof(T);
    return static_cast<T>(v);
}

CArchive& CArchive::operator<<(BYTE by) { WriteLE<BYTE>(by); return *this; }
CArchive& CArchive::operator<<(char ch) { WriteLE<BYTE>(static_cast<BYTE>(ch)); return *this; }
CArchive& CArchive::operator<<(bool b) { WriteLE<BYTE>(b ? 1 : 0); return *this; }
CArchive& CArchive::operator<<(WORD w) { WriteLE<WORD>(w); return *this; }
CArchive& CArchive::operator<<(SHORT w) { WriteLE<WORD>(static_cast<WORD>(w)); return *this; }
CArchive& CArchive::operator<<(char16_t ch) { WriteLE<WORD>(ch); return *this; }
CArchive& CArchive::operator<<(LONG l) { WriteLE<DWORD>(static_cast<DWORD>(l)); return *this; }
CArchive& CArchive::operator<<(DWORD dw) { WriteLE<DWORD>(dw); return *this; }
CArchive& CArchive::operator<<(LONGLONG ll) { WriteLE<ULONGLONG>(static_cast<ULONGLONG>(ll)); return *this; }
CArchive& CArchive::operator<<(ULONGLONG ull) { WriteLE<ULONGLONG>(ull); return *this; }
CArchive& CArchive::operator<<(float f) { WriteLE<DWORD>(std::bit_cast<DWORD>(f)); return *this; }
CArchive& CArchive::operator<<(double d) { WriteLE<ULONGLONG>(std::bit_cast<ULONGLONG>(d)); return *this; }

CArchive& CArchive::operator>>(BYTE& by) { by = ReadLE<BYTE>(); return *this; }
CArchive& CArchive::operator>>(char& ch) { ch = static_cast<char>(ReadLE<BYTE>()); return *this; }
CArchive& CArchive::operator>>(bool& b) { b = ReadLE<BYTE>() != 0; return *this; }
CArchive& CArchive::operator>>(WORD& w) { w = ReadLE<WORD>(); return *this; }
CArchive& CArchive::operator>>(SHORT& w) { w = static_cast<SHORT>(ReadLE<WORD>()); return *this; }
CArchive& CArchive::operator>>(char16_t& ch) { ch = ReadLE<WORD>(); return *this; }
CArchive& CArchive::operator>>(LONG& l) { l = static_cast<LONG>(ReadLE<DWORD>()); return *this; }
CArchive& CArchive::operator>>(DWORD& dw) { dw = ReadLE<DWORD>(); return *this; }
CArchive& CArchive::operator>>(LONGLONG& ll) { ll = static_cast<LONGLONG>(ReadLE<ULONGLONG>()); return *this; }
CArchive& CArchive::operator>>(ULONGLONG& ull) { ull = ReadLE<ULONGLONG>(); return *this; }
CArchive& CArchive::operator>>(float& f) { f = std::bit_cast<float>(ReadLE<DWORD>()); return *this; }
CArchive& CArchive::operator>>(double& d) { d = std::bit_cast<double>(ReadLE<ULONGLONG>()); return *this; }

CArchive& CArchive::operator<<(std::string_view s)
{
    std::size_t n = s.size();
    if (n < 0xFF) {
        WriteLE<BYTE>(static_cast<BYTE>(n));
    } else {
        WriteLE<BYTE>(0xFF);
        if (n < 0xFFFE) {
            WriteLE<WORD>(static_cast<WORD>(n));
        } else {
            WriteLE<WORD>(0xFFFF);
            if (n < 0xFFFFFFFF) {
                WriteLE<DWORD>(static_cast<DWORD>(n));
            } else {
                WriteLE<DWORD>(0xFFFFFFFF);
                WriteLE<ULONGLONG>(n);
            }
        }
    }
    WriteBytes(s.data(), n);
    return *this;
}

std::size_t CArchive::ReadStringLength(bool& bUtf16)
{
    bUtf16 = false;
    BYTE bLength = ReadLE<BYTE>();
    if (bLength < 0xFF)
        return bLength;
    WORD wLength = ReadLE<WORD>();
    if (wLength == 0xFFFE) {
        bUtf16 = true;
        bLength = ReadLE<BYTE>();
        if (bLength < 0xFF)
            return bLength;
        wLength = ReadLE<WORD>();
    }
    if (wLength < 0xFFFF)
        return wLength;
    DWORD dwLength = ReadLE<DWORD>();
    if (dwLength < 0xFFFFFFFF)
        return dwLength;
    ULONGLONG qwLength = ReadLE<ULONGLONG>();
    if (qwLength > std::numeric_limits<std::size_t>::max() / 2)
        Throw(CArchiveException::endOfFile);
    return static_cast<std::size_t>(qwLength);
}

CArchive& CArchive::operator>>(std::string& s)
{
    bool bUtf16 = false;
    std::size_t nLength = ReadStringLength(bUtf16);
    std::string out;
    if (!bUtf16) {
        for (std::size_t done = 0; done < nLength;) {
            std::size_t k = std::min(kStringChunk, nLength - done);
            out.resize(done + k);
            ReadExact(out.data() + done, k);
            done += k;
        }
    } else {
        std::vector<BYTE> chunk(2 * std::min(kStringChunk / 2, nLength));
        char16_t pendingHigh = 0;
        for (std::size_t done = 0; done < nLength;) {
            std::size_t k = std::min(kStringChunk / 2, nLength - done);
            ReadExact(chunk.data(), 2 * k);
            AppendUtf16AsUtf8(out, chunk.data(), k, pendingHigh);
            done += k;
        }
        if (pendingHigh != 0)
            AppendUtf8(out, 0xFFFD);
    }
    s = std::move(out);
    return *this;
}

void CArchive::WriteCount(DWORD dwCount)
{
    if (dwCount < 0xFFFF) {
        WriteLE<WORD>(static_cast<WORD>(dwCount));
    } else {
        WriteLE<WORD>(0xFFFF);
        WriteLE<DWORD>(dwCount);
    }
}

DWORD CArchive::ReadCount()
{
    WORD wCount = ReadLE<WORD>();
    if (wCount != 0xFFFF)
        return wCount;
    return ReadLE<DWORD>();
}

DWORD CArchive::NextMapIndex()
{
    if (m_nMapCount > kMaxMapCount)
        Throw(CArchiveException::badIndex);
    return m_nMapCount++;
}

void CArchive::WriteClass(const CRuntimeClass* pClassRef)
{
    auto it = m_storeMap.find(pClassRef);
    if (it != m_storeMap.end()) {
        if (it->second < kBigObjectTag) {
            WriteLE<WORD>(static_cast<WORD>(kClassTag | it->second));
        } else {
            WriteLE<WORD>(kBigObjectTag);
            WriteLE<DWORD>(kBigClassTag | it->second);
        }
        return;
    }
    // A record nobody could load again is a failure now, not at the next start.
    std::size_t nLen = std::strlen(pClassRef->m_lpszClassName);
    if (nLen >= kMaxClassNameLength || !pClassRef->IsSerializable()
        || CRuntimeClass::FromName(pClassRef->m_lpszClassName) != pClassRef)
        Throw(CArchiveException::badClass);
    DWORD index = NextMapIndex();
    WriteLE<WORD>(kNewClassTag);
    WriteLE<WORD>(static_cast<WORD>(pClassRef->m_wSchema));
    WriteLE<WORD>(static_cast<WORD>(nLen));
    WriteBytes(pClassRef->m_lpszClassName, nLen);
    m_storeMap.emplace(pClassRef, index);
}

void CArchive::WriteObject(const CObject* pOb)
{
    CheckMode(false);
    if (pOb == nullptr) {
        WriteLE<WORD>(kNullTag);
        return;
    }
    auto it = m_storeMap.find(pOb);
    if (it != m_storeMap.end()) {
        if (it->second < kBigObjectTag) {
            WriteLE<WORD>(static_cast<WORD>(it->second));
        } else {
            WriteLE<WORD>(kBigObjectTag);
            WriteLE<DWORD>(it->second);
        }
        return;
    }
    WriteClass(pOb->GetRuntimeClass());
    m_storeMap.emplace(pOb, NextMapIndex());
    const_cast<CObject*>(pOb)->Serialize(*this);
}

const CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* pClassRefRequested, UINT& nSchema, DWORD& obTag)
{
    if (m_loadArray.empty())
        m_loadArray.push_back({nullptr, LoadKind::Object, 0}); // index 0: null

    WORD wTag = ReadLE<WORD>();
    if (wTag == kBigObjectTag)
        obTag = ReadLE<DWORD>();
    else
        obTag = (static_cast<DWORD>(wTag & kClassTag) << 16) | (wTag & ~kClassTag);

    if ((obTag & kBigClassTag) == 0)
        return nullptr; // an object reference

    const CRuntimeClass* pClassRef = nullptr;
    if (wTag == kNewClassTag) {
        WORD wSchema = ReadLE<WORD>();
        WORD nLen = ReadLE<WORD>();
        if (nLen >= kMaxClassNameLength)
            Throw(CArchiveException::badClass);
        char name[kMaxClassNameLength];
        ReadExact(name, nLen);
        pClassRef = CRuntimeClass::FromName(std::string_view(name, nLen));
        if (pClassRef == nullptr || !pClassRef->IsSerializable())
            Throw(CArchiveException::badClass);
        if (m_loadArray.size() > kMaxMapCount)
            Throw(CArchiveException::badIndex);
        nSchema = wSchema;
        m_loadArray.push_back({pClassRef, LoadKind::Class, nSchema});
    } else {
        DWORD nClassIndex = obTag & ~kBigClassTag;
        if (nClassIndex == 0 || nClassIndex >= m_loadArray.size()
            || m_loadArray[nClassIndex].kind != LoadKind::Class)
            Throw(CArchiveException::badIndex);
        pClassRef = static_cast<const CRuntimeClass*>(m_loadArray[nClassIndex].p);
        nSchema = m_loadArray[nClassIndex].schema;
    }

    if (pClassRefRequested != nullptr && !pClassRef->IsDerivedFrom(pClassRefRequested))
        Throw(CArchiveException::badClass);
    return pClassRef;
}

CObject* CArchive::ReadObjectImpl(const CRuntimeClass* pClassRefRequested, bool bNewOnly)
{
    CheckMode(true);
    UINT nSchema = 0;
    DWORD obTag = 0;
    const CRuntimeClass* pClassRef = ReadClass(pClassRefRequested, nSchema, obTag);

    if (pClassRef == nullptr) {
        if (obTag == 0)
            return nullptr;
        if (obTag >= m_loadArray.size() || m_loadArray[obTag].kind != LoadKind::Object || bNewOnly)
            Throw(CArchiveException::badIndex);
        auto* pOb = static_cast<CObject*>(const_cast<void*>(m_loadArray[obTag].p));
        if (pClassRefRequested != nullptr && !pOb->IsKindOf(pClassRefRequested))
            Throw(CArchiveException::badClass);
        return pOb;
    }

    if (m_loadArray.size() > kMaxMapCount)
        Throw(CArchiveException::badIndex);
    std::unique_ptr<CObject> pOb(pClassRef->CreateObject());
    if (!pOb)
        Throw(CArchiveException::badClass);
    std::size_t index = m_loadArray.size();
    m_loadArray.push_back({pOb.get(), LoadKind::Object, 0}); // before Serialize: it may refer to itself

    UINT nSchemaSave = m_nObjectSchema;
    m_nObjectSchema = nSchema;
    try {
        pOb->Serialize(*this);
    } catch (...) {
        m_nObjectSchema = nSchemaSave;
        // The object goes, and with it whatever it had taken in: nothing loaded
        // since may be handed out again.
        for (std::size_t i = index; i < m_loadArray.size(); ++i) {
            if (m_loadArray[i].kind == LoadKind::Object)
                m_loadArray[i].kind = LoadKind::Freed;
        }
        throw;
    }
    m_nObjectSchema = nSchemaSave;
    return pOb.release();
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClassRefRequested)
{
    return ReadObjectImpl(pClassRefRequested, false);
}

std::unique_ptr<CObject> CArchive::ReadNewObject(const CRuntimeClass* pClassRefRequested)
{
    return std::unique_ptr<CObject>(ReadObjectImpl(pClassRefRequested, true));
}

UINT CArchive::GetObjectSchema()
{
    UINT n = m_nObjectSchema;
    m_nObjectSchema = static_cast<UINT>(-1);
    return n;
}

CArchive& operator<<(CArchive& ar, const CObject* pOb)
{
    ar.WriteObject(pOb);
    return ar;
}

CArchive& operator>>(CArchive& ar, CObject*& pOb)
{
    pOb = ar.ReadObject(nullptr);
    return ar;
}

CArchive& operator>>(CArchive& ar, const CObject*& pOb)
{
    pOb = ar.ReadObject(nullptr);
    return ar;
}
