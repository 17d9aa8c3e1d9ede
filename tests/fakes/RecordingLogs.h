#pragma once
#include "base/ILineLogs.h"
#include "base/IMessageBox.h"

#include <string>
#include <vector>

namespace quorlan::test {

class RecordingLogs : public base::ILineLogs {
public:
    void AddListMessage(const std::string& text) override { messages.push_back(text); }
    void DebugLog(const std::string& text) override { debug.push_back(text); }
    std::vector<std::string> messages;
    std::vector<std::string> debug;
};

class RecordingMessageBox : public base::IMessageBox {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

} // namespace quorlan::test
