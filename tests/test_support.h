// Shared helpers of the test binaries.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The log file of this test process (each process has its own).
const std::string& TestLogPath();
// The log's whole text so far.
std::string TestLogText();
// How many times part occurs in text (overlapping occurrences count).
size_t Occurrences(const std::string& text, const std::string& part);
// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// A fresh empty folder under the system's temporary folder, removed at exit.
std::string MakeTempDir();
// Starts an X server of its own (Xvfb, 640x480x24, plus extraArgs) and returns
// its pid, -1 when none could be started; display gets its name (":N").
pid_t StartXServer(std::string& display, const std::vector<std::string>& extraArgs = {});
