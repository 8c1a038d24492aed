#pragma once
// An owner for model objects that free themselves through Destroy (devices,
// blocks, maps) and so must never meet a plain delete.
#include <memory>

namespace testsupport {

struct DestroyDeleter {
    template <class T>
    void operator()(T* p) const
    {
        p->Destroy();
    }
};

template <class T>
using DestroyPtr = std::unique_ptr<T, DestroyDeleter>;

} // namespace testsupport
