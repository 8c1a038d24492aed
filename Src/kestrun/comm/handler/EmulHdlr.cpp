#include "kestrun/comm/handler/EmulHdlr.h"

CdsEmulHdlr::CdsEmulHdlr()
{
    // Reads need no request, writes no answer, monitor probes no exchange.
    m_bNeedStatusQuery = FALSE;
    m_bNeedCommandResponse = FALSE;
    m_bNeedMonitorQuery = FALSE;
    m_bNeedMonitorResponse = FALSE;
}

BOOL CdsEmulHdlr::OpenCommPort(CdsDeviceObject*, tagTHREADINFO*)
{
    return TRUE;
}

BOOL CdsEmulHdlr::CloseCommPort(CdsDeviceObject*, tagTHREADINFO*)
{
    return TRUE;
}

BOOL CdsEmulHdlr::IsPortOpen(tagTHREADINFO*)
{
    return TRUE;
}
