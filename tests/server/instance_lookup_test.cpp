#include "server/instance_lookup.h"

#include <gtest/gtest.h>

namespace velmora::server {
namespace {

// A Browser answer (SVR_RESP) around `entries`.
std::string reply(const std::string& entries) {
  return std::string{0x05, static_cast<char>(entries.size() & 0xff),
                     static_cast<char>(entries.size() >> 8)} +
         entries;
}

// A Browser may list every instance of its host; the port is the named instance's own.
TEST(InstancePortInReply, TakesThePortOfTheNamedInstance) {
  const std::string several = reply(
      "ServerName;DB1;InstanceName;MSSQLSERVER;IsClustered;No;Version;16.0.1000.6;tcp;1433;;"
      "ServerName;DB1;InstanceName;SQLEXPRESS;IsClustered;No;Version;16.0.1000.6;tcp;49172;;"
      "ServerName;DB1;InstanceName;NOTCP;IsClustered;No;Version;16.0.1000.6;np;\\\\DB1\\pipe;;");
  const std::pair<const char*, std::optional<unsigned>> cases[] = {
      {"MSSQLSERVER", 1433},   {"sqlexpress", 49172},       {"NOTCP", std::nullopt},
      {"OTHER", std::nullopt}, {"SQLEXPRES", std::nullopt},
  };
  for (const auto& [instance, port] : cases) {
    SCOPED_TRACE(instance);
    EXPECT_EQ(instancePortInReply(several, instance), port);
  }
  EXPECT_EQ(instancePortInReply("", "SQLEXPRESS"), std::nullopt);
  EXPECT_EQ(instancePortInReply(std::string{0x04} + several.substr(1), "SQLEXPRESS"), std::nullopt);
}

}  // namespace
}  // namespace velmora::server
