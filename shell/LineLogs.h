#pragma once
#include "base/ILineLogs.h"
#include "shell/LineLog.h"

namespace quorlan::shell {

// The session's two logs (message list, debug log) behind the interface every
// part writes to; the main window and the debug window show them.
class LineLogs : public base::ILineLogs {
public:
    void AddListMessage(const std::string& text) override { messageList.Append(text); }
    void DebugLog(const std::string& text) override { debugLog.Append(text); }

    LineLog messageList;
    LineLog debugLog;
};

} // namespace quorlan::shell
