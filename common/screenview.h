#pragma once
// What the view of every main screen has: the wait-screen protocol around long work.
#include "common/runtimeservices.h"

#include <functional>

namespace kov {

// The Qt screens show the wait screen frmOMACHI around the work
// (kov::ui::runWithWaitScreen); the default, which tests may use, only lets events run
// before and after it.
class WaitScreenView {
public:
    virtual ~WaitScreenView() = default;
    virtual void runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work)
    {
        rt.doEvents();
        work();
        rt.doEvents();
    }
};

} // namespace kov
