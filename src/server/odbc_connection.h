#pragma once

#include <memory>

#include "server/data_access.h"

namespace velmora::server {

// Connections over unixODBC and the FreeTDS driver (driver name "FreeTDS").
std::unique_ptr<ConnectionFactory> makeOdbcConnectionFactory();

}  // namespace velmora::server
