// What glowctl needs from outside its process: file paths (rooted so unit
// tests can run against a scratch tree), shell commands and their output.
#pragma once

#include <cstddef>
#include <string>

// Prefix put before every absolute path the daemon uses ("" on the router).
void glow_set_root(const char *root);
const char *glow_root();
// root + path into buf; false when it does not fit.
bool glow_path(char *buf, std::size_t size, const char *path);

// Runs a fixed command text through /bin/sh -c in a child and waits for it.
// The exit status, or -1 when the command is missing, no child could be
// started, waiting failed or the child was ended by a signal.
int run_shell(const char *command);

// Runs a fixed command text and hands back what it printed; false when it
// could not be run.
bool run_shell_output(const char *command, std::string &output);

// Unit tests replace both with recorders; nullptr restores the real ones.
using glow_shell_hook = int (*)(const char *command, std::string *output);
void glow_set_shell_hook(glow_shell_hook hook);
