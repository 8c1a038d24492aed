#include "platform/dde/BrisantToolkit.h"

namespace dde {

DWORD BrisantSetupDDEServerInterface(std::uintptr_t window, std::uintptr_t instance, const char* commandLine,
                                     BRISANTACTIONPROC callback)
{
    return Toolkit::Process().Setup(window, instance, commandLine, callback);
}
void BrisantSetTextFormats(DWORD server, int text, int advanced)
{
    Toolkit::Process().SetOption(server, kOptTextFormats, (text ? 1 : 0) | (advanced ? 2 : 0));
}
void BrisantEnableSystemTopic(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptSystemTopic, on); }
void BrisantSetItemCase(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptItemCase, on); }
void BrisantEnableTopicList(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptTopicList, on); }
void BrisantEnableExecute(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptExecute, on); }
void BrisantEnablePoke(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptPoke, on); }
void BrisantEnableRequest(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptRequest, on); }
void BrisantEnableAdvise(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptAdvise, on); }
void BrisantEnableBrowse(DWORD server, int on) { Toolkit::Process().SetOption(server, kOptBrowse, on); }
void BrisantDoIdle(DWORD server) { Toolkit::Process().Idle(server); }
void BrisantShutdownDDEServer(DWORD server) { Toolkit::Process().Shutdown(server); }
int BrisantRegisterServer(std::uintptr_t, const char* vendor, const char* name, const char*)
{
    // Nothing to enter on this platform; the arguments must still name a server.
    return vendor && *vendor && name && *name ? 1 : 0;
}
void BrisantUnregisterServer(std::uintptr_t, const char*, const char*) {}
int BrisantStartServer(DWORD server, DWORD clientUpdateMs, DWORD initialDataWaitMs)
{
    return Toolkit::Process().Start(server, clientUpdateMs, initialDataWaitMs);
}
HBRISANTHEAP BrisantCreateHeap(DWORD server, int flag) { return Toolkit::Process().CreateHeap(server, flag); }
int BrisantReleaseHeap(DWORD server, HBRISANTHEAP heap) { return Toolkit::Process().ReleaseHeap(server, heap); }
void* BrisantHeapAlloc(DWORD server, HBRISANTHEAP heap, DWORD size) { return Toolkit::Process().Allocate(server, heap, size); }
void BrisantHeapFree(DWORD server, void* block) { Toolkit::Process().Free(server, block); }
int BrisantUpdateItemValue(DWORD server, DWORD item, DWORD valueLow, DWORD valueHigh, int, LONG quality, int updateSame)
{
    _BRISANTDATAVALUE value{};
    value.dw[0] = valueLow;
    value.dw[1] = valueHigh;
    return Toolkit::Process().UpdateItemValue(server, item, value, quality, updateSame);
}
BYTE* BrisantCopyArray(DWORD server, BRISANT_DATATYPE type, const BYTE* source)
{
    return Toolkit::Process().CopyArray(server, type, source);
}
long BrisantReleaseItemUse(void*, DWORD server) { return Toolkit::Process().ReleaseItemUse(server); }
void BrisantPokeAck(DWORD server, DWORD item, int failed, const char* error)
{
    Toolkit::Process().PokeAck(server, item, failed, error);
}
int BrisantTextToValue(DWORD server, const char* text, BRISANT_DATATYPE type, _BRISANTDATAVALUE* value)
{
    return Toolkit::Process().TextToValue(server, text, type, value);
}
void BrisantSetItemReady(DWORD server, DWORD item, int ready) { Toolkit::Process().SetItemReady(server, item, ready); }
DWORD BrisantAddBrowseBranch(DWORD server, DWORD parent, const WCHAR* name, const WCHAR* path)
{
    return Toolkit::Process().AddBrowseBranch(server, parent, name, path);
}
int BrisantAddBrowseLeaf(DWORD server, DWORD branch, const WCHAR* leaf, const WCHAR* full, BRISANT_DATATYPE type,
                         int access)
{
    return Toolkit::Process().AddBrowseLeaf(server, branch, leaf, full, type, access);
}

namespace {
template <typename F>
void (*Address(F* function))()
{
    return reinterpret_cast<void (*)()>(function);
}
} // namespace

const std::vector<Entry>& EntryTable()
{
    static const std::vector<Entry> table = {
        {934, "BrisantSetupDDEServerInterface", Address(&BrisantSetupDDEServerInterface)},
        {986, "BrisantSetTextFormats", Address(&BrisantSetTextFormats)},
        {979, "BrisantEnableSystemTopic", Address(&BrisantEnableSystemTopic)},
        {980, "BrisantSetItemCase", Address(&BrisantSetItemCase)},
        {974, "BrisantEnableTopicList", Address(&BrisantEnableTopicList)},
        {978, "BrisantEnableExecute", Address(&BrisantEnableExecute)},
        {983, "BrisantEnablePoke", Address(&BrisantEnablePoke)},
        {962, "BrisantEnableRequest", Address(&BrisantEnableRequest)},
        {953, "BrisantEnableAdvise", Address(&BrisantEnableAdvise)},
        {997, "BrisantEnableBrowse", Address(&BrisantEnableBrowse)},
        {936, "BrisantDoIdle", Address(&BrisantDoIdle)},
        {935, "BrisantShutdownDDEServer", Address(&BrisantShutdownDDEServer)},
        {981, "BrisantRegisterServer", Address(&BrisantRegisterServer)},
        {982, "BrisantUnregisterServer", Address(&BrisantUnregisterServer)},
        {903, "BrisantStartServer", Address(&BrisantStartServer)},
        {904, "BrisantCreateHeap", Address(&BrisantCreateHeap)},
        {907, "BrisantReleaseHeap", Address(&BrisantReleaseHeap)},
        {905, "BrisantHeapAlloc", Address(&BrisantHeapAlloc)},
        {906, "BrisantHeapFree", Address(&BrisantHeapFree)},
        {921, "BrisantUpdateItemValue", Address(&BrisantUpdateItemValue)},
        {923, "BrisantCopyArray", Address(&BrisantCopyArray)},
        {926, "BrisantReleaseItemUse", Address(&BrisantReleaseItemUse)},
        {928, "BrisantPokeAck", Address(&BrisantPokeAck)},
        {948, "BrisantTextToValue", Address(&BrisantTextToValue)},
        {977, "BrisantSetItemReady", Address(&BrisantSetItemReady)},
        {988, "BrisantAddBrowseBranch", Address(&BrisantAddBrowseBranch)},
        {989, "BrisantAddBrowseLeaf", Address(&BrisantAddBrowseLeaf)},
    };
    return table;
}

const Entry* FindEntry(int ordinal)
{
    for (const Entry& entry : EntryTable())
        if (entry.ordinal == ordinal)
            return &entry;
    return nullptr;
}

} // namespace dde
