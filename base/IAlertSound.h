#pragma once

namespace quorlan::base {

// The short sound of a search hit. Without a sound device it does nothing.
class IAlertSound {
public:
    virtual ~IAlertSound() = default;
    virtual void Play() = 0;
};

} // namespace quorlan::base
