#pragma once

#include <exception>
#include <string>
#include <vector>

// What velmora-export tells the user when it fails or warns, and the exit status of a failure.
namespace velmora::exporter {

inline constexpr int kExitError = 1;
inline constexpr int kExitConnectFailed = 2;

// The lines (UTF-8, without their line ends) that standard error shows for an error that
// ended the export, and the exit status. An error that the window also shows reads as the
// window's box reads.
struct FailureReport {
  std::vector<std::string> lines;
  int exitStatus = kExitError;
};
FailureReport failureReport(const std::exception& error);

// "velmora-export: <why>\nTry 'velmora-export --help'.\n" for a command line not understood.
std::string usageErrorText(const std::string& why);

// The warning, with its line end, that the foreign keys of the tables `names` (as shown)
// form a cycle.
std::string cycleWarningText(const std::string& names);

// Standard output was closed when the program started and the script was to go there.
inline constexpr const char* kClosedOutputText = "Cannot write standard output: it is closed.";

}  // namespace velmora::exporter
