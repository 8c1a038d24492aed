#pragma once
// A cast to a base of the class the poll path nearly always meets: when the object is
// exactly an `Exact`, a comparison of its type and a static cast; otherwise the
// dynamic cast. A dynamic cross-cast compares type names across libraries, several
// times per read.
#include <typeinfo>

template <class To, class Exact, class From>
To* ExactOrDynamicCast(From* p)
{
    if (!p)
        return nullptr;
    if (typeid(*p) == typeid(Exact))
        return static_cast<Exact*>(p);
    return dynamic_cast<To*>(p);
}
