// The ports of the serial link library's tests: COMn as a pseudo-terminal
// with the scripted amplifier peer on its far side, a line held off, or an
// entry that leads to no port. On Linux the test's own process holds them
// (ScriptedPort_local.cpp). A Windows test under Wine cannot make
// pseudo-terminals: there the port host, the Linux program that runs the
// test (tests/port_host.cpp), holds them and each call below is a request to
// it (ScriptedPort_remote.cpp). Wine's COMn leads to the same ports folder
// entry that the library looks for on Linux.
#pragma once

#include "Faults.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// The line as the port's driver has it.
struct LineState {
    std::uint32_t rate = 0;    // bits per second
    bool custom_rate = false;  // set as a rate outside the driver's table
    unsigned data_bits = 0;
    bool parity = false;
    bool two_stop_bits = false;
    bool hardware_flow_control = false;
    bool software_flow_control = false;  // XON/XOFF either way, or any byte restarting output
    bool input_changed = false;          // CR made NL, parity checked, or the 8th bit stripped
    bool line_editing = false;           // canonical input, echo, signals, extended functions
    bool output_changed = false;         // output post-processing
    bool low_latency_offered = false;    // the driver has a low-latency mode
};

class ScriptedPort {
public:
    // COMn; the peer answers every command with reply_data, behind a header
    // that echoes the command's address and command byte.
    explicit ScriptedPort(int port_number, Bytes reply_data = {0x00});
    ~ScriptedPort();
    ScriptedPort(const ScriptedPort&) = delete;
    ScriptedPort& operator=(const ScriptedPort&) = delete;

    void reply_with(Bytes data, std::uint8_t header1, std::uint8_t header2);
    // Silence after each block's ACK: the program waits for an ENQ in vain.
    void answer_nothing();
    void set_faults(const ampsim::Faults& faults);

    // Every byte the peer received from the program, in order.
    Bytes received() const;
    // Every intact command block it received, NAKed ones included.
    std::vector<Bytes> commands() const;
    // Response blocks fully sent, resends included.
    int responses_sent() const;
    void clear_records();

    // Puts bytes in the program's input queue, as an abandoned exchange
    // leaves them; false when they did not arrive there.
    bool leave_stale_input(const Bytes& bytes);

    LineState line() const;
    // The driver's state before the program opens the port, far from what the
    // library wants: XON/XOFF and hardware flow control on, 7 bits, parity,
    // two stop bits, cooked input and output.
    void preset_cooked_line();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// COMn without a peer: its output held off by flow control (which neither a
// purge nor new line settings undo) and its queue towards the amplifier
// full, so that nothing written on it leaves.
class HeldLine {
public:
    explicit HeldLine(int port_number);
    ~HeldLine();
    HeldLine(const HeldLine&) = delete;
    HeldLine& operator=(const HeldLine&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// COMn in the ports folder leading to something that is no port; removed
// again when this goes.
class NonPortEntry {
public:
    enum class Kind {
        PlainFile,   // a link to a plain file: it opens, but is no terminal
        BrokenLink,  // a link to nothing
    };
    NonPortEntry(int port_number, Kind kind);
    ~NonPortEntry();
    NonPortEntry(const NonPortEntry&) = delete;
    NonPortEntry& operator=(const NonPortEntry&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace testsupport
