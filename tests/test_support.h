// Shared helpers of the test binaries.
#pragma once

#include <string>

// The log file of this test process (each process has its own).
const std::string& TestLogPath();
// The log's whole text so far.
std::string TestLogText();
// A fresh empty folder under the system's temporary folder, removed at exit.
std::string MakeTempDir();
