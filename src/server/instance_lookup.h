#pragma once

#include <optional>
#include <string>
#include <string_view>

// Named instances: their TCP port comes from the SQL Server Browser of their machine.
namespace velmora::server {

// What asking a Browser gave: the instance's port, or why there is none.
struct InstanceLookup {
  std::optional<unsigned> port{};
  std::string failure{};  // a sentence for the user, when there is no port
};

// Asks the SQL Server Browser on `host` (UDP port 1434) for the TCP port of `instance`,
// sending the request again each second, three times in all. No port when no Browser names
// that instance: the host has no address, every address of the host refuses, or nothing
// answers (a Browser that does not know the instance stays silent).
InstanceLookup lookUpInstancePort(const std::string& host, const std::string& instance);

// The TCP port that a Browser answer (SVR_RESP: 0x05, a two-byte length, then
// "ServerName;S;InstanceName;I;...;tcp;PORT;;" for each instance) gives for `instance`.
std::optional<unsigned> instancePortInReply(std::string_view reply, std::string_view instance);

}  // namespace velmora::server
