// One way to run external programs for every deliverable.
//
// run() spawns with an argument vector (posix_spawnp, no shell): use it for
// every command that carries a value from outside (ONT, script, cloud agent,
// UCI). run_shell() exists only for fixed command texts written in the code.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace platform {

struct RunOptions {
    std::string_view input;          // written to the child's standard input, then closed
    bool capture = false;            // collect standard output into RunResult::output
    std::size_t max_output = 65536;  // bytes kept; the rest is read and dropped
    int timeout_ms = 0;              // 0: wait as long as it takes; else SIGKILL after it
    bool keep_stderr = false;        // false: the child's standard error goes to /dev/null
    bool discard_stdout = true;      // when not capturing: standard output to /dev/null
};

struct RunResult {
    int status = -1;         // exit code 0..255; -1 spawn failure; 128+N killed by signal N
    int signal = 0;          // the signal that ended the child, else 0
    bool timed_out = false;
    bool truncated = false;  // output exceeded max_output
    std::string output;
};

// argv[0] is searched on PATH when it holds no '/'. Returns result.status.
int run(std::span<const char *const> argv, const RunOptions &opt = {}, RunResult *result = nullptr);
int run(std::initializer_list<const char *> argv, const RunOptions &opt = {}, RunResult *result = nullptr);

// Runs a fixed command text with /bin/sh -c. Never build `command` from
// outside values. Returns the exit code as run() does.
int run_shell(const char *command, const RunOptions &opt = {}, RunResult *result = nullptr);

}  // namespace platform
