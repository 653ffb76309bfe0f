// quillon-cli ports: where COM1..COM16 lead and which serial devices this
// machine has; "ports link COMn DEVICE" maps a port.
#pragma once

#include "ExitStatus.h"

#include <string>
#include <vector>

namespace quillon::cli {

Exit list_ports();
Exit link_port(const std::string& port_name, const std::string& device);

}  // namespace quillon::cli
