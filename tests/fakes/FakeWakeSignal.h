#pragma once
#include "base/IWakeSignal.h"

#include <functional>

namespace quorlan::test {

// A wake signal the test raises by hand.
class FakeWakeSignal : public base::IWakeSignal {
public:
    void SetWake(std::function<void()> wake) override { wake_ = std::move(wake); }
    void Raise() {
        if (wake_) wake_();
    }
    bool Connected() const { return static_cast<bool>(wake_); }

private:
    std::function<void()> wake_;
};

} // namespace quorlan::test
