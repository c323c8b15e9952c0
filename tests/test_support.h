// Shared helpers of the test binaries.
#pragma once

#include <string>

// The log file of this test process (each process has its own).
const std::string& TestLogPath();
// The log's whole text so far.
std::string TestLogText();
// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// A fresh empty folder under the system's temporary folder, removed at exit.
std::string MakeTempDir();
