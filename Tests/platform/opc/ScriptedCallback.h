#pragma once
// A callback and tags scripted by the test: items are plain dotted ids with a value, a
// browser walks the dots as branches, and every call the toolkit makes is recorded.
#include "platform/com/Bstr.h"
#include "platform/opc/server/OPCBrowser.h"
#include "platform/opc/server/OPCCallback.h"
#include "platform/opc/server/PatternMatch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace opctest {

class ScriptedBrowser : public COPCBrowser {
public:
    explicit ScriptedBrowser(std::vector<std::string> ids) : ids_(std::move(ids)) {}

    BOOL MoveUp() override
    {
        if (path_.empty()) return FALSE;
        path_.pop_back();
        return TRUE;
    }
    BOOL MoveDown(std::string_view name) override
    {
        for (auto& b : children(true))
            if (b == name) {
                path_.emplace_back(name);
                return TRUE;
            }
        return FALSE;
    }
    HRESULT BeginBrowse(DWORD type, std::string_view filter, VARTYPE, DWORD) override
    {
        filter_ = filter;
        if (type == 3) {
            list_ = ids_;
            path_.clear();
        } else {
            list_ = children(type == 1);
        }
        pos_ = 0;
        return S_OK;
    }
    std::string NextName() override
    {
        while (pos_ < list_.size()) {
            const std::string& n = list_[pos_++];
            if (filter_.empty() || opc::matchPattern(n, filter_, false)) return n;
        }
        return {};
    }
    std::string GetItemID(std::string_view name) override
    {
        std::string id = prefix() + std::string(name);
        for (auto& i : ids_)
            if (i == id || i.rfind(id + ".", 0) == 0) return id;
        return {};
    }

private:
    std::string prefix() const
    {
        std::string p;
        for (auto& s : path_) p += s + ".";
        return p;
    }
    std::vector<std::string> children(bool branches) const
    {
        std::vector<std::string> out;
        std::string p = prefix();
        for (auto& id : ids_) {
            if (id.rfind(p, 0) != 0) continue;
            std::string rest = id.substr(p.size());
            auto dot = rest.find('.');
            bool isBranch = dot != std::string::npos;
            if (isBranch != branches) continue;
            std::string n = isBranch ? rest.substr(0, dot) : rest;
            if (std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
        }
        return out;
    }
    std::vector<std::string> ids_;
    std::vector<std::string> path_;
    std::vector<std::string> list_;
    std::size_t pos_ = 0;
    std::string filter_;
};

class ScriptedCallback : public COPCCallback {
public:
    // Items with their canonical value (which gives the canonical type).
    void addItem(const std::string& id, VARIANT value, DWORD access = 3)
    {
        auto tag = std::make_unique<CTag>();
        tag->m_vtCanonical = value.vt();
        tag->m_wAccessRights = WORD(access);
        tag->UpdateValue(value, 0xC0, FILETIME{0x11223344, 0x01D00000});
        ids_.push_back(id);
        tags_[id] = std::move(tag);
    }
    CTag* tag(const std::string& id) { return tags_.at(id).get(); }
    void set(const std::string& id, VARIANT v, WORD quality = 0xC0)
    {
        tag(id)->UpdateValue(v, quality, FILETIME{0x55667788, 0x01D00000});
    }

    HRESULT FindTag(std::string_view itemId, DWORD& count, CTag*& tag) override
    {
        auto it = tags_.find(std::string(itemId));
        if (it == tags_.end()) return OPC_E_UNKNOWNITEMID;
        count = 6;
        tag = it->second.get();
        return S_OK;
    }
    HRESULT QueryAvailableProperties(DWORD count, CTag* tag, std::vector<DWORD>& ids,
                                     std::vector<std::u16string>& descriptions, std::vector<VARTYPE>& types) override
    {
        ids = {1, 2, 3, 4, 5, 101};
        descriptions = {u"Item Canonical DataType", u"Item Value", u"Item Quality", u"Item Timestamp",
                        u"Item Access Rights", u"Item Description"};
        types = {VT_I2, tag->m_vtCanonical, VT_I2, VT_DATE, VT_I4, VT_BSTR};
        ids.resize(count);
        descriptions.resize(count);
        types.resize(count);
        return S_OK;
    }
    HRESULT GetItemProperties(std::string_view itemId, std::span<const DWORD> ids, std::vector<VARIANT>& values,
                              std::vector<HRESULT>& errors) override
    {
        auto it = tags_.find(std::string(itemId));
        if (it == tags_.end()) return OPC_E_UNKNOWNITEMID;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] == 1) values[i] = VARIANT::I2(SHORT(it->second->m_vtCanonical));
            else if (ids[i] == 5) values[i] = VARIANT::I4(3);
            else continue;
            errors[i] = S_OK;
        }
        return S_OK;
    }
    COPCBrowser* CreateBrowser() override
    {
        if (!browser_) browser_ = std::make_unique<ScriptedBrowser>(ids_);
        return browser_.get();
    }
    DWORD ReviseUpdateRate(DWORD requested) override { return requested <= 10 ? 10 : requested; }
    CTag* CreateTag(std::string_view itemId, std::string_view accessPath, std::string_view) override
    {
        if (!accessPath.empty() && !knownPaths.empty() && !knownPaths.count(std::string(accessPath))) return nullptr;
        auto it = tags_.find(std::string(itemId));
        if (it == tags_.end()) return nullptr;
        it->second->AddRef();
        return it->second.get();
    }
    HRESULT GetTagInfo(std::string_view itemId, VARTYPE& type, DWORD& access) override
    {
        auto it = tags_.find(std::string(itemId));
        if (it == tags_.end()) return OPC_E_UNKNOWNITEMID;
        type = it->second->m_vtCanonical;
        access = it->second->m_wAccessRights;
        return S_OK;
    }
    HRESULT WriteTag(CTag* tag, const VARIANT& value) override
    {
        std::lock_guard lock(mutex_);
        writes.push_back(value);
        if (refuseWrites) return E_FAIL;
        tag->UpdateValue(value, 0xC0, FILETIME{1, 1});
        return S_OK;
    }
    BOOL GetExtendedDataTypeAsFloat() override { return extendedAsFloat; }
    std::string GetVendorName() override { return "Scripted Vendor"; }
    BOOL OnClientConnect(IOPCServer* s) override
    {
        lastClient = s;
        ++connects;
        return TRUE;
    }
    int OnClientDisconnect(IOPCServer*) override
    {
        DWORD clients = fsGetServerCount();  // callbacks may ask the toolkit, even while it stops
        std::lock_guard lock(mutex_);
        ++disconnects;
        lastServerCount = clients;
        changed_.notify_all();
        return disconnects;
    }
    // Waits (bounded) until n clients have left.
    bool waitDisconnects(int n, int ms = 3000)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return disconnects >= n; });
    }
    void OnActivateItem(CTag*, BOOL active) override { active ? ++activations : ++deactivations; }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<VARIANT> writes;
    bool refuseWrites = false;
    std::atomic<IOPCServer*> lastClient{nullptr};  // valid while that client is connected
    // Access paths the items are known under; empty: any.
    std::set<std::string> knownPaths;
    DWORD lastServerCount = 0;
    BOOL extendedAsFloat = FALSE;
    std::atomic<int> connects{0}, disconnects{0}, activations{0}, deactivations{0};

private:
    std::vector<std::string> ids_;
    std::map<std::string, std::unique_ptr<CTag>> tags_;
    std::unique_ptr<ScriptedBrowser> browser_;
};

} // namespace opctest
