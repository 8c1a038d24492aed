#pragma once
// The device update cycle: what one visit of an update line reads of a device
// (the read-back block, the next due block, the most urgent block), when it
// probes an idle device instead, and the counters that move. Scan times and
// priorities count visits of the data timer, not clock time. A block not read
// since its device went online is read first, one a visit, before the scan
// order takes over.
#include "platform/win/WinTypes.h"

class CdsCommHdlr;
class CdsDeviceObject;
class CdsMemoryArray;
struct tagTHREADINFO;

class CdsDeviceUpdate {
public:
    // Nonzero when something was read or probed successfully.
    static BOOL UpdateDevice(CdsDeviceObject& device, CdsCommHdlr& hdlr, tagTHREADINFO* pLine);
    static BOOL MonitorDevice(CdsDeviceObject& device, CdsCommHdlr& hdlr, tagTHREADINFO* pLine);
    // Reads every block in list order while the handler is in service.
    static void RefreshDevice(CdsDeviceObject& device, CdsCommHdlr& hdlr, tagTHREADINFO* pLine);
    static BOOL UpdateMemoryArray(CdsCommHdlr* pHdlr, CdsMemoryArray* pArray, tagTHREADINFO* pLine);

    // The written block with the highest priority (the later one on a tie); its
    // modified mark is cleared as it is picked.
    static CdsMemoryArray* GetTheLatestModifiedMemoryArray(CdsDeviceObject& device);
    // The first block in list order that the scan would read and that has had no
    // read attempt since going online; none once every such block was tried.
    static CdsMemoryArray* GetTheFirstUnreadMemoryArray(CdsDeviceObject& device);
    // Advances the due times of the scanned blocks; the block most overdue, if any is due.
    static CdsMemoryArray* GetTheNextDueMemoryArray(CdsDeviceObject& device);
    // Advances the idle times of the prioritised blocks; the one idle longest.
    static CdsMemoryArray* GetTheMostUrgentMemoryArray(CdsDeviceObject& device);
};
