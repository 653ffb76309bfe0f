// A pseudo-terminal that stands in for a serial cable: the simulator keeps
// the master side, and the slave side is published as COMn in the ports
// folder, where the serial link library looks for its ports.
#pragma once

#include "UniqueFd.h"

#include <string>

namespace ampsim {

class PtyEndpoint {
public:
    // Removes the links of ended simulators (PortLinks.h), opens the pty and
    // links it as COMn. Throws (std::system_error, or std::runtime_error
    // naming the entry) when it cannot, or when COMn is already in the ports
    // folder and reaches something.
    explicit PtyEndpoint(int port_number);
    ~PtyEndpoint();
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    int master_fd() const { return master_.get(); }
    // The endpoint keeps the slave open too, so that the master side does not
    // see a hang-up while no program holds the port.
    int held_slave_fd() const { return held_slave_.get(); }
    const std::string& slave_path() const { return slave_path_; }
    const std::string& link_path() const { return link_path_; }
    int port_number() const { return port_number_; }

    // Pulls the cable: closes the master, so that the program's side of the
    // line hangs up.
    void hang_up();
    bool hung_up() const { return !master_.valid(); }

private:
    int port_number_;
    common::UniqueFd master_;
    common::UniqueFd held_slave_;
    std::string slave_path_;
    std::string link_path_;
};

}  // namespace ampsim
