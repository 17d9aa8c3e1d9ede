#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorlan::loadgen {

// A program started by the load generator or a test (the server,
// redis-server, HAProxy), ended with SIGTERM (then SIGKILL) when the object
// goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& argv, bool quiet, std::string& error);
    void Stop();
    // Ends the program at once, as a crash would (SIGKILL), and reaps it.
    void Kill();
    pid_t Pid() const { return pid_; }
    // Resident memory in bytes, from /proc; 0 when unknown.
    long long ResidentBytes() const;
    // Processor time used so far (user and system), seconds, from /proc; 0
    // when unknown.
    double CpuSeconds() const;

private:
    pid_t pid_ = -1;
};

// A loopback port that was free a moment ago.
unsigned short FreePort();
// Raises the open-file limit to the hard limit; the limit in force.
unsigned long RaiseFileLimit();

} // namespace quorlan::loadgen
