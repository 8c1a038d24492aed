#pragma once
// The one presenter a kind of setup dialog is shown through: the shell installs
// the real one, tests install fakes. Installing and showing may happen on
// different threads.
#include "kestrun/comm/config/CommConfig.h"

#include <functional>
#include <mutex>

namespace kestrun {

template <typename Dialog>
class DialogPresenter {
public:
    using Presenter = std::function<int(Dialog&)>;

    static void Set(Presenter presenter)
    {
        std::lock_guard lock(s_mutex);
        Slot() = std::move(presenter);
    }

    // COMM_DLG_CANCEL without a presenter; any answer but OK counts as cancel.
    static int Run(Dialog& dialog)
    {
        Presenter presenter;
        {
            std::lock_guard lock(s_mutex);
            presenter = Slot();
        }
        if (!presenter)
            return COMM_DLG_CANCEL;
        return presenter(dialog) == COMM_DLG_OK ? COMM_DLG_OK : COMM_DLG_CANCEL;
    }

private:
    static Presenter& Slot()
    {
        static Presenter presenter;
        return presenter;
    }

    static inline std::mutex s_mutex; // leaf: guards the slot; the presenter runs without it
};

} // namespace kestrun
