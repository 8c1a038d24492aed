#pragma once
// Client handles of one connection: the 32-bit ids the server gets for groups, items
// and 2.0 transactions, in place of object addresses. Ids are never 0 and never given
// twice in a run, so a callback that names an object removed meanwhile finds nothing
// rather than freed memory. Used on the application thread only.
#include "platform/opc/OpcTypes.h"

#include <unordered_map>
#include <variant>

class CGroup;
class CItem;
struct CTransaction;

class CHandleTable {
public:
    explicit CHandleTable(OPCHANDLE first = 1) : m_next(first) {}
    CHandleTable(const CHandleTable&) = delete;
    CHandleTable& operator=(const CHandleTable&) = delete;

    // A new id for the object; 0 once every id has been given.
    template <typename T>
    OPCHANDLE Add(T* object)
    {
        if (m_next == 0) return 0;
        OPCHANDLE id = m_next++;
        m_objects.emplace(id, object);
        return id;
    }
    void Remove(OPCHANDLE id) { m_objects.erase(id); }

    // The object of that kind under id; null for an unknown id or another kind.
    template <typename T>
    T* Find(OPCHANDLE id) const
    {
        auto it = m_objects.find(id);
        if (it == m_objects.end()) return nullptr;
        T* const* p = std::get_if<T*>(&it->second);
        return p ? *p : nullptr;
    }
    std::size_t Count() const { return m_objects.size(); }

private:
    std::unordered_map<OPCHANDLE, std::variant<CGroup*, CItem*, CTransaction*>> m_objects;
    OPCHANDLE m_next;
};
