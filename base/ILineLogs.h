#pragma once
#include <string>

namespace quorlan::base {

// The two line logs every part of the client writes to: the message list for
// the user and the debug log for technical lines. Texts are cp949 bytes.
class ILineLogs {
public:
    virtual ~ILineLogs() = default;
    virtual void AddListMessage(const std::string& text) = 0;
    virtual void DebugLog(const std::string& text) = 0;
};

} // namespace quorlan::base
