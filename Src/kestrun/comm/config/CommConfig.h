#pragma once
// Port configuration of one device line: which kind of port, which instance, and the
// kind's own settings. Every kind is serialisable and dynamically creatable.
#include "platform/afx/Object.h"
#include "platform/win/WinTypes.h"

#include <memory>
#include <string>

class CArchive;

enum tagCommPortType : std::int32_t {
    COMM_PORT_NONE = -1,
    COMM_PORT_SERIAL = 1,
    COMM_PORT_TCPIP = 2,
    COMM_PORT_UDPIP = 3,
    COMM_PORT_EMUL = 5,
    COMM_PORT_ETHERNET = 6,
    COMM_PORT_ARCNET = 7,
    COMM_PORT_MSTP = 8,
    COMM_PORT_PTP = 9,
    COMM_PORT_LONTALK = 10,
    COMM_PORT_ZIGBEE = 11,
    COMM_PORT_IP6 = 12,
};

// Dialog results.
inline constexpr int COMM_DLG_OK = 1;     // IDOK
inline constexpr int COMM_DLG_CANCEL = 2; // IDCANCEL

inline constexpr WORD COMM_NO_PORT_ID = 0xFFFF;
inline constexpr DWORD COMM_NO_PORT_HANDLE = 0xFFFFFFFFu;

class CdsCommConfig : public CObject {
    DECLARE_SERIAL(CdsCommConfig)
public:
    CdsCommConfig();
    CdsCommConfig(const CdsCommConfig& src) = default;
    ~CdsCommConfig() override = default;

    // Record: int32 port type, uint16 port id, int32 device type, then the strings
    // protocol, address, port, setting, options, description, then the kind's tail.
    // Loading a record of a kind whose tail differs from this object's throws
    // CArchiveException(badClass) instead of reading one kind's bytes as another's.
    void Serialize(CArchive& ar) override;

    virtual WORD GetPortId() const { return m_nPortId; }
    // Copies port id, device type and the six strings from any kind; the kind's own
    // fields only from a source that carries them, and the port type only from a
    // source of the same class, so an object never takes on another kind's identity.
    virtual CdsCommConfig& operator=(const CdsCommConfig& src);
    // Edits the configuration; returns COMM_DLG_OK or COMM_DLG_CANCEL. Kinds without a
    // dialog return COMM_DLG_CANCEL at once.
    virtual int DoConfigDialog(const std::string& title);
    virtual bool SetPortType(tagCommPortType portType);
    virtual bool SetPortId(WORD portId);

    void ResetPortId() { m_nPortId = COMM_NO_PORT_ID; }
    tagCommPortType GetPortType() const { return m_nPortType; }

    // (port id << 16) | (port type & 0xFFFF); 0xFFFFFFFF without a port id.
    DWORD GetPortHandle() const;
    static WORD GetPortId(DWORD portHandle) { return static_cast<WORD>(portHandle >> 16); }
    static tagCommPortType GetPortType(DWORD portHandle)
    {
        return static_cast<tagCommPortType>(portHandle & 0xFFFF);
    }

    // A new configuration of the kind; null for a value that names no kind. It knows the
    // transports' kinds too, so it lives with the handlers (handler/NewCommConfig.cpp).
    static std::unique_ptr<CdsCommConfig> NewCommConfig(int portType);
    // A new configuration of whatever kind the next record in the archive holds,
    // loaded from it. Throws CArchiveException(badClass) for a port type of no kind.
    static std::unique_ptr<CdsCommConfig> LoadCommConfig(CArchive& ar);

    std::int32_t m_nDeviceType = -1;
    std::string m_strProtocol;
    std::string m_strAddress;
    std::string m_strPort;
    std::string m_strSetting;
    std::string m_strOptions;
    std::string m_strDescription;

protected:
    explicit CdsCommConfig(tagCommPortType portType) : m_nPortType(portType) {}

    // The fields after the base record. The base has none.
    virtual void SerializeTail(CArchive& ar);
    // Whether a stored record of this port type has this object's tail.
    virtual bool HasTailOf(tagCommPortType portType) const;
    // Copies the kind's own fields from src when it carries them.
    virtual void AssignTail(const CdsCommConfig& src);

    // The base fields after the port type; used on loading once the type is read.
    void LoadAfterPortType(CArchive& ar, tagCommPortType portType);
    void AssignBase(const CdsCommConfig& src);

    tagCommPortType m_nPortType = COMM_PORT_NONE;
    WORD m_nPortId = COMM_NO_PORT_ID;
};
