#pragma once
#include "shell/IAlertSound.h"

namespace quorlan::test {

class FakeAlertSound : public shell::IAlertSound {
public:
    void Play() override { ++plays; }
    int plays = 0;
};

} // namespace quorlan::test
