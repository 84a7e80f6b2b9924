#pragma once

#include <exception>
#include <string>
#include <vector>

// What velmora-export tells the user when it fails, and the exit status that goes with it.
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

// Standard output was closed when the program started and the script was to go there.
inline constexpr const char* kClosedOutputText = "Cannot write standard output: it is closed.";

}  // namespace velmora::exporter
