#pragma once
// A server behind the DDE toolkit's callback: it answers the way the
// framework's bridge does, with two topics and a few typed items.
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/dde/BrisantToolkit.h"

namespace ddetest {

struct FakeServer {
    dde::Toolkit* toolkit = nullptr;
    DWORD id = 0;
    std::vector<int> actions;
    std::set<std::string> topics{"PLC1", "PLC2"};
    std::map<std::string, BRISANT_DATATYPE> items{{"D100", BRISANT_SHORT}, {"TEXT", BRISANT_STRING},
                                                   {"F1", BRISANT_FLOAT}, {"FIX", BRISANT_FIXEDSTRING},
                                                   {"BITS", BRISANT_BOOLARRAY}};
    std::map<DWORD, std::string> handles;   // item handle -> name
    std::map<std::string, int> active;      // item -> activation count
    int records[16] = {};
    int startCount = 0;
    bool ackPokes = true;
    _BRISANTDATAVALUE poked{};
    BRISANT_DATATYPE pokedType = BRISANT_NOTYPE;
    std::string pokedText;
    std::vector<std::pair<std::string, _BRISANTDATAVALUE>> toPush;  // pushed at the next timer
    std::vector<int> pushResults;
    long lastReleaseUse = -1;
    bool exitOnTimer = false;
    std::vector<std::string> topicList{"PLC1", "PLC2"};
    // What the server holds now for an immediate read: value and quality.
    std::map<std::string, std::pair<_BRISANTDATAVALUE, LONG>> current;
    // Names the server makes no item of, with the reason it gives.
    std::map<std::string, std::string> refused;
    // The answer to a System item the toolkit does not know (action 21), on the heap.
    std::string systemAnswer;
};

inline FakeServer* g_server = nullptr;

inline long Callback(int action, _BRISANT_DATAACTION* a)
{
    FakeServer& s = *g_server;
    s.actions.push_back(action);
    dde::Toolkit& t = *s.toolkit;
    switch (action) {
    case 1:
        ++s.startCount;
        if (!t.Start(a->dwServerId, 100, 500))
            return 0;
        return t.CreateHeap(a->dwServerId, 1) ? 1 : 0;
    case 2:
        return 1;
    case 3:
        return std::string(a->pszText) == "CLOSE SERVER" ? 1 : 0;
    case 7:
        if (s.exitOnTimer)
            t.Shutdown(a->dwServerId);
        for (auto& [name, value] : s.toPush) {
            for (auto& [handle, itemName] : s.handles) {
                if (itemName == name)
                    s.pushResults.push_back(t.UpdateItemValue(a->dwServerId, handle, value, 192, 0));
            }
        }
        s.toPush.clear();
        return 1;
    case 8:
        ++s.active[s.handles[a->hItem]];
        return 1;
    case 9:
        s.lastReleaseUse = t.ReleaseItemUse(a->dwServerId);
        --s.active[s.handles[a->hItem]];
        return 1;
    case 11: {
        if (auto why = s.refused.find(a->pszText); why != s.refused.end()) {
            a->pszReturn = why->second.data();
            a->nReturnLength = static_cast<LONG>(why->second.size());
            return 0;
        }
        auto it = s.items.find(a->pszText);
        if (it == s.items.end())
            return 0;
        s.handles[a->hItem] = a->pszText;
        a->nDataType = it->second;
        a->nQuality = 192;
        t.SetItemReady(a->dwServerId, a->hItem, 1);
        return reinterpret_cast<long>(&s.records[1]);
    }
    case 12:
        s.poked = a->value;
        s.pokedType = a->nDataType;
        if (a->nDataType == BRISANT_STRING && a->value.pszVal)
            s.pokedText = a->value.pszVal;
        if (s.ackPokes)
            t.PokeAck(a->dwServerId, a->hItem, 0, nullptr);
        else
            t.PokeAck(a->dwServerId, a->hItem, 1, "There was an error in writing the data");
        return s.ackPokes ? 1 : 0;
    case 13:
        return s.topics.count(a->pszText) ? reinterpret_cast<long>(&s.records[0]) : 0;
    case 16: {
        auto it = s.current.find(s.handles[a->hItem]);
        if (it == s.current.end())
            return 0;
        return t.UpdateItemValue(a->dwServerId, a->hItem, it->second.first, it->second.second, 1);
    }
    case 21:
        if (!s.systemAnswer.empty()) {
            auto* block = static_cast<char*>(t.Allocate(a->dwServerId, t.StartupHeap(), s.systemAnswer.size() + 1));
            std::memcpy(block, s.systemAnswer.c_str(), s.systemAnswer.size() + 1);
            a->pszReturn = block;
            a->nReturnLength = static_cast<LONG>(s.systemAnswer.size());
        }
        return 1;
    case 24: {
        auto it = s.items.find(s.handles[a->hItem]);
        if (it != s.items.end())
            a->nDataType = it->second;
        return 1;
    }
    case 17:
        a->nListPos = 0;
        if (s.topicList.empty())
            return 0;
        a->pszText = s.topicList[0].c_str();
        return 1;
    case 18:
        if (++a->nListPos >= static_cast<long>(s.topicList.size()))
            return 0;
        a->pszText = s.topicList[static_cast<std::size_t>(a->nListPos)].c_str();
        return 1;
    default:
        return 1;
    }
}

} // namespace ddetest
