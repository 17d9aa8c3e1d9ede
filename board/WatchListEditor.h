#pragma once
#include "base/IMessageBox.h"
#include "client/ClientState.h"

#include <cstddef>
#include <string>

namespace quorlan::board {

// The changes the watch-list window makes to the watch list and to the main
// condition's words to leave out. A condition the "단어설정" dialog would refuse
// is refused here with the same message boxes, in the same order, and the
// list stays as it was. Words to leave out are given as the window's edit
// holds them (comma-separated). An index outside the list changes nothing.
class WatchListEditor {
public:
    WatchListEditor(client::ClientState& state, base::IMessageBox& messageBox);

    bool Add(const std::string& condition, const std::string& excludeText);
    bool Edit(std::size_t index, const std::string& condition, const std::string& excludeText);
    void Remove(std::size_t index);
    void SetOff(std::size_t index, bool off);
    void SetMainExclude(const std::string& excludeText);

private:
    // Shows the refusals, if any; true when the condition is accepted.
    bool Accepts(const std::string& condition);

    client::ClientState& state_;
    base::IMessageBox& messageBox_;
};

} // namespace quorlan::board
