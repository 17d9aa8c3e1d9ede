#pragma once
#include "base/IAlertSound.h"

namespace quorlan::test {

class FakeAlertSound : public base::IAlertSound {
public:
    void Play() override { ++plays; }
    int plays = 0;
};

} // namespace quorlan::test
