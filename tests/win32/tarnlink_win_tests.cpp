// Tarnlink.dll as a Windows program meets it: loaded with LoadLibrary from
// beside this runner, its exports bound by name, and driven over real COM
// ports against simulated amplifiers. Written for Wine, where run-wine-tests
// sets up the ports and carries the FAULT lines; the code is plain Win32.
//
// The ports it expects:
//   COM1   an ampsim, its output in the file given as the first argument
//   COM12  a second ampsim (beyond COM9: needs the device namespace), its
//          output in the file given as the second argument; its cable is
//          pulled by the last test
//   COM2   a line held off by flow control (nothing written leaves), with
//          four stale bytes waiting in the port's input
//   COM9   a port name whose device does not exist
//
// Faults are ordered by printing "FAULT <port> <control command>" on standard
// output; the script passes the command to that port's ampsim, and the runner
// waits until ampsim's output shows that it was carried out.
//
//   tarnlink_win_tests AMPSIM1_OUTPUT AMPSIM12_OUTPUT
//   tarnlink_win_tests probe-open N   (a second process: exits with
//                                      dfComSetReady(9600, N), port kept till exit)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numeric>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint8_t kConnectionTest = 0x00;
constexpr std::uint8_t kReadComData32 = 0xDF;
constexpr std::uint8_t kLogBlockRead = 0xFA;
constexpr std::uint8_t kLogControl = 0xEA;
constexpr std::uint8_t kUnknownCommand = 0x7F;

// ---------------------------------------------------------------- checking

struct TestAborted {};

int g_failed_checks = 0;

void report_failure(const char* file, int line, const std::string& what)
{
    ++g_failed_checks;
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
    std::fflush(stdout);
}

std::string hex(const Bytes& bytes)
{
    std::string text;
    char two[4];
    for (auto byte : bytes) {
        std::snprintf(two, sizeof two, "%02X ", byte);
        text += two;
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

std::string show(const Bytes& value) { return "[" + hex(value) + "]"; }
std::string show(const std::string& value) { return "\"" + value + "\""; }
template <typename T>
std::string show(const T& value)
{
    return std::to_string(value);
}

#define CHECK(condition)                                                                   \
    ((condition) ? true : (report_failure(__FILE__, __LINE__, "CHECK(" #condition ")"), false))

#define CHECK_EQ(actual, expected)                                                          \
    do {                                                                                    \
        const auto& actual_value = (actual);                                                \
        const auto& expected_value = (expected);                                            \
        if (!(actual_value == expected_value)) {                                            \
            report_failure(__FILE__, __LINE__,                                              \
                           std::string(#actual " is ") + show(actual_value) +              \
                               ", expected " + show(expected_value));                       \
        }                                                                                   \
    } while (false)

// Stops the current test when a step that the rest depends on fails.
#define REQUIRE(condition)                                                                   \
    do {                                                                                     \
        if (!CHECK(condition)) {                                                             \
            throw TestAborted{};                                                             \
        }                                                                                    \
    } while (false)

// ---------------------------------------------------------------- library

struct Tarnlink {
    int (*dfGetDllVersion)();
    int (*dfComSetReady)(int, int);
    int (*dfComSetClose)();
    int (*dfComSetBaudRate)(int);
    int (*dfComSetTimeout1)(int);
    int (*dfComSetTimeout2)(int);
    bool (*PortInitial)(const char*, int, int, int);
    bool (*PortClose)();
    bool (*SetBaudRate)(int);
    bool (*SetTimeouts)(int, int);
    int (*dfComMakeData)(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t,
                         const std::uint8_t*, std::uint8_t*, int*);
    bool (*CommLoop)(const std::uint8_t*, int, std::uint8_t*, int);
    int (*dfComCommunication)(void*, const std::uint8_t*, const std::uint8_t*,
                              const std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
                              std::uint8_t*, int, int*);
    HMODULE module = nullptr;

    // Sends a command as the serial adapter does (address 0).
    int communicate(std::uint8_t command, const Bytes& params, std::uint8_t* response,
                    int retry_limit = 1) const
    {
        const std::uint8_t n = static_cast<std::uint8_t>(params.size());
        const std::uint8_t address = 0;
        const std::uint8_t low = command & 0x0F;
        const std::uint8_t high = command >> 4;
        int reserved = 0;
        return dfComCommunication(nullptr, &n, &address, &low, &high, params.data(), response,
                                  retry_limit, &reserved);
    }
};

const char* const kExportNames[] = {
    "dfGetDllVersion", "dfComSetReady", "dfComSetClose",   "dfComSetBaudRate", "dfComSetTimeout1",
    "dfComSetTimeout2", "_PortInitial", "_PortClose",      "_SetBaudRate",     "_SetTimeouts",
    "dfComMakeData",   "_CommLoop",     "dfComCommunication",
};

template <typename Function>
void bind(HMODULE module, const char* name, Function& slot)
{
    const FARPROC entry = ::GetProcAddress(module, name);
    if (entry == nullptr) {
        std::printf("Tarnlink.dll has no export %s\n", name);
        std::exit(3);
    }
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(entry));
}

Tarnlink load_tarnlink()
{
    Tarnlink api{};
    api.module = ::LoadLibraryA("Tarnlink.dll");
    if (api.module == nullptr) {
        std::printf("cannot load Tarnlink.dll (error %lu)\n", ::GetLastError());
        std::exit(3);
    }
    bind(api.module, "dfGetDllVersion", api.dfGetDllVersion);
    bind(api.module, "dfComSetReady", api.dfComSetReady);
    bind(api.module, "dfComSetClose", api.dfComSetClose);
    bind(api.module, "dfComSetBaudRate", api.dfComSetBaudRate);
    bind(api.module, "dfComSetTimeout1", api.dfComSetTimeout1);
    bind(api.module, "dfComSetTimeout2", api.dfComSetTimeout2);
    bind(api.module, "_PortInitial", api.PortInitial);
    bind(api.module, "_PortClose", api.PortClose);
    bind(api.module, "_SetBaudRate", api.SetBaudRate);
    bind(api.module, "_SetTimeouts", api.SetTimeouts);
    bind(api.module, "dfComMakeData", api.dfComMakeData);
    bind(api.module, "_CommLoop", api.CommLoop);
    bind(api.module, "dfComCommunication", api.dfComCommunication);
    return api;
}

Tarnlink* g_tarnlink = nullptr;
const Tarnlink& tarnlink() { return *g_tarnlink; }

// The names in the loaded module's export directory.
std::vector<std::string> exported_names(HMODULE module, DWORD& function_count)
{
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    function_count = 0;
    if (entry.VirtualAddress == 0) {
        return names;
    }
    const auto* directory =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    function_count = directory->NumberOfFunctions;
    const auto* name_rvas = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
        names.emplace_back(reinterpret_cast<const char*>(base + name_rvas[i]));
    }
    return names;
}

// ---------------------------------------------------------------- helpers

std::string g_self;  // this runner's path, for second processes

bool under_wine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// "Z:\tmp\x" is /tmp/x on the Linux side (Wine's Z: drive is the root).
std::string unix_path_of(const std::string& windows_path)
{
    if (windows_path.size() < 3 || (windows_path[0] != 'Z' && windows_path[0] != 'z') ||
        windows_path[1] != ':') {
        return {};
    }
    std::string path = windows_path.substr(2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::vector<std::string> read_lines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Runs "runner probe-open N" and returns its exit code.
int open_from_other_process(int port_number)
{
    std::string command = "\"" + g_self + "\" probe-open " + std::to_string(port_number);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return -1;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process.hProcess, &code);
    } else {
        ::TerminateProcess(process.hProcess, 99);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

HANDLE open_port_directly(int port_number)
{
    const std::string path = "\\\\.\\COM" + std::to_string(port_number);
    return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
}

std::uint8_t checksum(const Bytes& bytes)
{
    return static_cast<std::uint8_t>(0u - std::accumulate(bytes.begin(), bytes.end(), 0u));
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A response buffer with a fill pattern behind what the library may write.
struct ResponseBuffer {
    std::array<std::uint8_t, 1024> bytes;
    ResponseBuffer() { bytes.fill(0xA5); }
    Bytes block() const { return Bytes(bytes.begin(), bytes.begin() + bytes[0] + 4); }
    bool untouched_from(std::size_t offset) const
    {
        return std::all_of(bytes.begin() + static_cast<long>(offset), bytes.end(),
                           [](std::uint8_t b) { return b == 0xA5; });
    }
    bool sums_to_zero() const { return checksum(block()) == 0; }
};

// One ampsim process behind a port: its control commands go out as FAULT
// lines, and what it heard and did is read back from its output file.
class Amplifier {
public:
    Amplifier(int port_number, std::string output_path)
        : port_(port_number), output_(std::move(output_path))
    {
    }

    // Carries out a control command; returns ampsim's answer to it.
    std::string control(const std::string& command) const
    {
        const std::size_t before = answers().size();
        std::printf("FAULT %d %s\n", port_, command.c_str());
        std::fflush(stdout);
        const auto until = Clock::now() + std::chrono::seconds(10);
        for (;;) {
            const auto now_answers = answers();
            if (now_answers.size() > before) {
                return now_answers[before];
            }
            if (Clock::now() > until) {
                return "no answer from ampsim to: " + command;
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
    }

    // Arms a control command and checks that ampsim took it.
    void arm(const std::string& command) const
    {
        const std::string answer = control(command);
        const bool refused = answer.rfind("unknown", 0) == 0 || answer.rfind("bad", 0) == 0 ||
                             answer.rfind("no ", 0) == 0 || answer.rfind("cannot", 0) == 0;
        if (refused) {
            report_failure(__FILE__, __LINE__, "ampsim refused \"" + command + "\": " + answer);
            throw TestAborted{};
        }
    }

    // Every command block the amplifier answered, in order (checksum included).
    std::vector<Bytes> commands_heard() const
    {
        std::vector<Bytes> blocks;
        const std::string prefix = "serial command ";
        for (const auto& line : read_lines(output_)) {
            if (line.rfind(prefix, 0) != 0) {
                continue;
            }
            std::istringstream words(line.substr(prefix.size()));
            Bytes block;
            for (std::string word; words >> word;) {
                block.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
            }
            blocks.push_back(block);
        }
        return blocks;
    }

    std::size_t heard_count() const { return commands_heard().size(); }
    const std::string& output_path() const { return output_; }

private:
    // ampsim's own lines: its start-up lines and one answer per control command.
    std::vector<std::string> answers() const
    {
        std::vector<std::string> lines;
        for (const auto& line : read_lines(output_)) {
            if (line.rfind("ampsim: ", 0) == 0 && line.rfind("ampsim: serving ", 0) != 0) {
                lines.push_back(line.substr(8));
            }
        }
        return lines;
    }

    int port_;
    std::string output_;
};

Amplifier* g_com1 = nullptr;
Amplifier* g_com12 = nullptr;

bool exchange_works()
{
    ResponseBuffer response;
    return tarnlink().communicate(kConnectionTest, {}, response.bytes.data()) == 0 &&
           response.sums_to_zero();
}

long long ms_since(Clock::time_point start)
{
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// ---------------------------------------------------------------- tests

void exports_exactly_the_thirteen_names()
{
    DWORD functions = 0;
    std::vector<std::string> names = exported_names(tarnlink().module, functions);
    std::vector<std::string> expected(std::begin(kExportNames), std::end(kExportNames));
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    CHECK_EQ(functions, DWORD{13});
    CHECK_EQ(names.size(), expected.size());
    for (std::size_t i = 0; i < std::min(names.size(), expected.size()); ++i) {
        CHECK_EQ(names[i], expected[i]);
    }
}

void version_is_0x1000()
{
    CHECK_EQ(tarnlink().dfGetDllVersion(), 0x1000);
}

void before_any_open_settings_fail_and_close_succeeds()
{
    CHECK_EQ(tarnlink().dfComSetBaudRate(9600), 1);
    CHECK_EQ(tarnlink().dfComSetTimeout2(2), 1);
    CHECK_EQ(tarnlink().dfComSetTimeout1(5), 1);
    CHECK(!tarnlink().SetTimeouts(5, 2));
    CHECK(!tarnlink().SetBaudRate(9600));
    CHECK(tarnlink().PortClose());  // never opened: nothing to close
    CHECK_EQ(tarnlink().dfComSetClose(), 0);
}

void command_blocks_follow_the_worked_examples()
{
    struct Example {
        std::uint8_t n, command;
        Bytes params, wire;
    };
    const Example examples[] = {
        {0, 0x00, {}, {0x00, 0x00, 0x00, 0x00}},
        {0, 0xDF, {}, {0x00, 0x00, 0xDF, 0x21}},
        {0, 0xAF, {}, {0x00, 0x00, 0xAF, 0x51}},
        {1, 0xFA, {0x00}, {0x01, 0x00, 0xFA, 0x00, 0x05}},
    };
    for (const auto& example : examples) {
        std::array<std::uint8_t, 300> out{};
        int length = -1;
        CHECK_EQ(tarnlink().dfComMakeData(example.n, 0, example.command & 0x0F,
                                          example.command >> 4, example.params.data(),
                                          out.data(), &length),
                 0);
        CHECK_EQ(Bytes(out.begin(), out.begin() + std::max(length, 0)), example.wire);
    }
    Bytes params(255, 0x01);
    std::array<std::uint8_t, 300> big{};
    big.fill(0xEE);
    int length = -1;
    CHECK_EQ(tarnlink().dfComMakeData(251, 0, 0, 0, params.data(), big.data(), &length), 0);
    CHECK_EQ(length, 255);
    CHECK_EQ(big[255], std::uint8_t{0xEE});
    big.fill(0xEE);
    length = -1;
    CHECK(tarnlink().dfComMakeData(252, 0, 0, 0, params.data(), big.data(), &length) != 0);
    CHECK_EQ(big[0], std::uint8_t{0xEE});
    CHECK_EQ(length, -1);
}

void port_numbers_outside_the_table_and_missing_devices_fail()
{
    for (int number : {0, 17, -1, 1000}) {
        CHECK_EQ(tarnlink().dfComSetReady(9600, number), 1);
    }
    CHECK_EQ(tarnlink().dfComSetReady(9600, 9), 1);  // COM9 leads nowhere
    // After a failed open the line settings cannot be changed.
    CHECK_EQ(tarnlink().dfComSetBaudRate(9600), 1);
    CHECK_EQ(tarnlink().dfComSetTimeout2(2), 1);
    // The failed open left no port behind to close.
    CHECK_EQ(tarnlink().dfComSetReady(9600, 1), 0);
}

void ports_above_com9_open_through_the_device_namespace()
{
    // Without the prefix "COM12" names a file, not the port.
    const HANDLE plain = ::CreateFileA("COM12", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    CHECK(plain == INVALID_HANDLE_VALUE);
    if (plain != INVALID_HANDLE_VALUE) {
        ::CloseHandle(plain);
    }
    const std::size_t heard = g_com12->heard_count();
    REQUIRE(tarnlink().dfComSetReady(9600, 12) == 0);
    CHECK(exchange_works());
    CHECK_EQ(g_com12->heard_count(), heard + 1);
}

void second_set_ready_fails_and_leaves_first_port_open()
{
    REQUIRE(tarnlink().dfComSetReady(9600, 1) == 0);
    CHECK_EQ(tarnlink().dfComSetReady(9600, 1), 1);
    CHECK_EQ(tarnlink().dfComSetReady(9600, 12), 1);
    CHECK(exchange_works());
}

void a_held_port_cannot_be_opened_again()
{
    REQUIRE(tarnlink().dfComSetReady(9600, 1) == 0);
    CHECK_EQ(open_from_other_process(1), 1);
    // Nor through the system by another handle; Wine's serial ports do not
    // refuse a second opener, so there only Tarnlink's own openers are kept out.
    const HANDLE second = open_port_directly(1);
    if (second != INVALID_HANDLE_VALUE) {
        ::CloseHandle(second);
    }
    if (under_wine()) {
        std::printf("  note: under Wine a second CreateFile on the held port %s\n",
                    second == INVALID_HANDLE_VALUE ? "failed" : "succeeded");
    } else {
        CHECK(second == INVALID_HANDLE_VALUE);
    }
    CHECK(exchange_works());
    // Once closed, the port is free again.
    CHECK_EQ(tarnlink().dfComSetClose(), 0);
    CHECK_EQ(open_from_other_process(1), 0);
    const HANDLE later = open_port_directly(1);
    CHECK(later != INVALID_HANDLE_VALUE);
    if (later != INVALID_HANDLE_VALUE) {
        ::CloseHandle(later);
    }
}

void close_then_reopen_same_or_other_port()
{
    const std::size_t heard1 = g_com1->heard_count();
    const std::size_t heard12 = g_com12->heard_count();
    REQUIRE(tarnlink().dfComSetReady(9600, 1) == 0);
    CHECK_EQ(tarnlink().dfComSetClose(), 0);
    // A second close of a closed port fails underneath; the df export hides it.
    CHECK(!tarnlink().PortClose());
    CHECK_EQ(tarnlink().dfComSetClose(), 0);

    REQUIRE(tarnlink().dfComSetReady(9600, 1) == 0);
    CHECK(exchange_works());
    REQUIRE(tarnlink().dfComSetClose() == 0);
    REQUIRE(tarnlink().dfComSetReady(9600, 12) == 0);
    CHECK(exchange_works());
    CHECK_EQ(g_com1->heard_count(), heard1 + 1);
    CHECK_EQ(g_com12->heard_count(), heard12 + 1);
}

void settings_of_a_closed_port_fail()
{
    REQUIRE(tarnlink().dfComSetReady(9600, 1) == 0);
    REQUIRE(tarnlink().dfComSetClose() == 0);
    CHECK_EQ(tarnlink().dfComSetBaudRate(9600), 1);
    CHECK_EQ(tarnlink().dfComSetTimeout2(2), 1);
    CHECK(!tarnlink().SetTimeouts(5, 2));
}

DCB comm_state(HANDLE port)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    CHECK(::GetCommState(port, &dcb));
    return dcb;
}

void line_is_8n1_at_the_rate_with_xon_xoff_off_and_hardware_flow_control_kept()
{
    // The driver's state before the open: software and hardware flow control
    // on, two stop bits, another rate.
    HANDLE port = open_port_directly(1);
    REQUIRE(port != INVALID_HANDLE_VALUE);
    DCB before = comm_state(port);
    const DCB original = before;
    before.BaudRate = 19200;
    before.StopBits = TWOSTOPBITS;
    before.fOutX = TRUE;
    before.fInX = TRUE;
    before.fOutxCtsFlow = TRUE;
    before.fRtsControl = RTS_CONTROL_HANDSHAKE;
    CHECK(::SetCommState(port, &before));
    ::CloseHandle(port);

    const int ready = tarnlink().dfComSetReady(115200, 1);
    CHECK_EQ(ready, 0);
    CHECK_EQ(tarnlink().dfComSetBaudRate(57600), 0);
    tarnlink().dfComSetClose();

    port = open_port_directly(1);
    REQUIRE(port != INVALID_HANDLE_VALUE);
    const DCB after = comm_state(port);
    CHECK_EQ(after.BaudRate, DWORD{57600});
    CHECK_EQ(after.ByteSize, BYTE{8});
    CHECK_EQ(after.Parity, BYTE{NOPARITY});
    CHECK_EQ(after.StopBits, BYTE{ONESTOPBIT});
    CHECK_EQ(after.fBinary, DWORD{TRUE});
    CHECK_EQ(after.fParity, DWORD{FALSE});
    CHECK_EQ(after.fOutX, DWORD{FALSE});
    CHECK_EQ(after.fInX, DWORD{FALSE});
    CHECK_EQ(after.fOutxCtsFlow, DWORD{TRUE});  // hardware flow control stays
    DCB restore = original;
    ::SetCommState(port, &restore);
    ::CloseHandle(port);
}

void timeout_values_that_do_not_fit_are_refused()
{
    REQUIRE(tarnlink().dfComSetReady(9600, 1) == 0);
    CHECK_EQ(tarnlink().dfComSetTimeout2(-1), 1);
    CHECK_EQ(tarnlink().dfComSetTimeout1(-1), 1);
    CHECK_EQ(tarnlink().dfComSetTimeout2(5'000'000), 1);  // above 2^32 ms
    CHECK(!tarnlink().SetTimeouts(-1, 2));
    CHECK(tarnlink().SetTimeouts(5, 2));
    CHECK_EQ(tarnlink().dfComSetTimeout2(16), 0);
    CHECK(exchange_works());
}

void port_initial_always_opens_com1_and_releases_the_port_it_replaces()
{
    const std::size_t heard1 = g_com1->heard_count();
    const std::size_t heard12 = g_com12->heard_count();
    REQUIRE(tarnlink().dfComSetReady(9600, 12) == 0);
    CHECK(tarnlink().PortInitial("COM12", 19200, 5, 3));
    CHECK_EQ(open_from_other_process(12), 0);  // COM12 was closed
    CHECK_EQ(open_from_other_process(1), 1);   // COM1 is the one held now
    CHECK(exchange_works());
    CHECK_EQ(g_com1->heard_count(), heard1 + 1);
    CHECK_EQ(g_com12->heard_count(), heard12);
    CHECK(tarnlink().PortClose());
    CHECK(!tarnlink().PortClose());
}

// ---- the block transfer protocol against the COM1 amplifier

void open_com1()
{
    REQUIRE(tarnlink().dfComSetReady(9600, 1) == 0);
}

void clean_exchange()
{
    open_com1();
    const std::size_t heard = g_com1->heard_count();
    ResponseBuffer response;
    REQUIRE(tarnlink().communicate(kReadComData32, {}, response.bytes.data()) == 0);
    const auto blocks = g_com1->commands_heard();
    REQUIRE(blocks.size() == heard + 1);
    CHECK_EQ(blocks.back(), (Bytes{0x00, 0x00, 0xDF, 0x21}));
    // 32 + 32 bytes of communication data, the phase and a reserved byte.
    CHECK_EQ(response.bytes[0], std::uint8_t{66});
    CHECK_EQ(response.bytes[1], std::uint8_t{0x00});
    CHECK_EQ(response.bytes[2], std::uint8_t{0xDF});
    CHECK(response.sums_to_zero());
    CHECK(response.untouched_from(66 + 4));
}

void every_byte_value_reaches_the_amplifier_unchanged()
{
    open_com1();
    Bytes first(251), second;
    std::iota(first.begin(), first.end(), 0);  // 0x00..0xFA
    for (int value = 251; value < 256; ++value) {
        second.push_back(static_cast<std::uint8_t>(value));
    }
    for (const Bytes& params : {first, second}) {
        const std::size_t heard = g_com1->heard_count();
        ResponseBuffer response;
        REQUIRE(tarnlink().communicate(kUnknownCommand, params, response.bytes.data()) == 0);
        const auto blocks = g_com1->commands_heard();
        REQUIRE(blocks.size() == heard + 1);
        Bytes expected = concat({{static_cast<std::uint8_t>(params.size()), 0x00, kUnknownCommand},
                                 params});
        expected.push_back(checksum(expected));
        CHECK_EQ(blocks.back(), expected);
        // The model acknowledges a command it does not know without data.
        CHECK_EQ(response.block(), (Bytes{0x00, 0x00, kUnknownCommand, 0x81}));
    }
}

void every_byte_value_comes_back_from_the_amplifier_unchanged()
{
    open_com1();
    ResponseBuffer response;
    // Start logging without a stop condition, and let the amplifier log 256
    // exchanges of random traffic.
    REQUIRE(tarnlink().communicate(kLogControl, {1, 0xFF, 0, 0, 0, 0, 0, 0},
                                   response.bytes.data()) == 0);
    g_com1->arm("advance 256");

    std::vector<std::string> records;
    std::set<std::uint8_t> values;
    for (std::uint8_t block = 0; block < 64; ++block) {
        ResponseBuffer part;
        REQUIRE(tarnlink().communicate(kLogBlockRead, {block}, part.bytes.data()) == 0);
        const Bytes whole = part.block();
        REQUIRE(whole.size() == 4 + 1 + 4 * 32 + 1);
        CHECK(part.sums_to_zero());
        CHECK_EQ(whole[3], block);
        values.insert(whole.begin(), whole.end());
        for (std::size_t r = 0; r < 4; ++r) {
            const auto start = whole.begin() + 4 + static_cast<long>(r * 32);
            std::string text = hex(Bytes(start, start + 32));
            text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
            records.push_back(text);
        }
    }
    tarnlink().communicate(kLogControl, {0, 0xFF, 0, 0, 0, 0, 0, 0}, response.bytes.data());

    // The amplifier's own account of its log, written beside its output.
    const std::string listing = g_com1->output_path() + ".records";
    const std::string listing_unix = unix_path_of(listing);
    REQUIRE(!listing_unix.empty());
    g_com1->arm("write-log " + listing_unix);
    const auto expected = read_lines(listing);
    CHECK_EQ(records.size(), expected.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < std::min(records.size(), expected.size()); ++i) {
        differing += records[i] != expected[i];
    }
    CHECK_EQ(differing, std::size_t{0});
    CHECK_EQ(values.size(), std::size_t{256});
}

void refused_enq_is_offered_again_then_given_up()
{
    open_com1();
    ResponseBuffer response;
    std::size_t heard = g_com1->heard_count();
    g_com1->arm("refuse-enq 1");
    CHECK_EQ(tarnlink().communicate(kConnectionTest, {}, response.bytes.data()), 0);
    CHECK_EQ(g_com1->heard_count(), heard + 1);

    heard = g_com1->heard_count();
    g_com1->arm("refuse-enq 2");
    CHECK_EQ(tarnlink().communicate(kConnectionTest, {}, response.bytes.data()), 1);
    CHECK_EQ(g_com1->heard_count(), heard);  // no block without an EOT

    // With retry limit 0 there is one try only.
    g_com1->arm("refuse-enq 1");
    CHECK_EQ(tarnlink().communicate(kConnectionTest, {}, response.bytes.data(), 0), 1);
    CHECK_EQ(g_com1->heard_count(), heard);
    CHECK(exchange_works());
}

void refused_block_is_sent_again_after_a_fresh_enq()
{
    open_com1();
    ResponseBuffer response;
    g_com1->arm("nak-block 1");
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 0);
    CHECK_EQ(response.bytes[2], kReadComData32);
    CHECK(response.sums_to_zero());

    g_com1->arm("nak-block 2");
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 1);
    CHECK(exchange_works());
}

void corrupted_response_is_naked_and_taken_again()
{
    open_com1();
    ResponseBuffer response;
    g_com1->arm("corrupt 1");
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 0);
    CHECK_EQ(response.bytes[0], std::uint8_t{66});
    CHECK(response.sums_to_zero());

    g_com1->arm("corrupt 2");
    ResponseBuffer failed;
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, failed.bytes.data()), 1);
    CHECK(exchange_works());
}

// Arms fault with 1 s reads and checks that the exchange fails after two of
// them; returns how many commands the simulator heard meanwhile.
std::size_t fails_after_two_one_second_waits(const char* fault)
{
    open_com1();
    REQUIRE(tarnlink().dfComSetTimeout2(1) == 0);
    const std::size_t heard = g_com1->heard_count();
    g_com1->arm(fault);
    ResponseBuffer response;
    const auto start = Clock::now();
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 1);
    const long long took = ms_since(start);
    CHECK(took >= 1950);
    CHECK(took < 3000);
    std::printf("  two waits of 1 s took %lld ms\n", took);
    return g_com1->heard_count() - heard;
}

void silence_after_the_block_is_waited_out_twice()
{
    CHECK_EQ(fails_after_two_one_second_waits("silent 1"), std::size_t{1});  // the block got through
    CHECK(exchange_works());
}

void unanswered_enq_times_out_per_try()
{
    CHECK_EQ(fails_after_two_one_second_waits("ignore-enq 2"), std::size_t{0});
    CHECK(exchange_works());
}

void longer_reply_timeout_waits_for_a_slow_amplifier()
{
    open_com1();
    REQUIRE(tarnlink().dfComSetTimeout2(16) == 0);
    g_com1->arm("delay 2500");
    ResponseBuffer response;
    const auto start = Clock::now();
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 0);
    CHECK(ms_since(start) >= 2450);
    CHECK(response.sums_to_zero());
    g_com1->arm("delay 0");
}

void back_to_back_exchanges_all_succeed()
{
    open_com1();
    const std::size_t heard = g_com1->heard_count();
    constexpr int kExchanges = 200;
    int succeeded = 0;
    for (int i = 0; i < kExchanges; ++i) {
        ResponseBuffer response;
        const std::uint8_t block = static_cast<std::uint8_t>(i % 64);
        if (tarnlink().communicate(kLogBlockRead, {block}, response.bytes.data()) == 0 &&
            response.bytes[3] == block && response.sums_to_zero()) {
            ++succeeded;
        }
    }
    CHECK_EQ(succeeded, kExchanges);
    CHECK_EQ(g_com1->heard_count(), heard + kExchanges);
}

void oversized_command_blocks_are_refused_without_sending()
{
    open_com1();
    const std::size_t heard = g_com1->heard_count();
    Bytes params(255, 0x00);
    ResponseBuffer response;
    for (int n : {252, 255}) {
        CHECK_EQ(tarnlink().communicate(0x10, Bytes(params.begin(), params.begin() + n),
                                        response.bytes.data()),
                 1);
    }
    const Bytes block{0x00, 0x00, 0x00, 0x00};
    CHECK(!tarnlink().CommLoop(block.data(), 3, response.bytes.data(), 1));
    CHECK(!tarnlink().CommLoop(params.data(), 256, response.bytes.data(), 1));
    CHECK(!tarnlink().CommLoop(nullptr, 4, response.bytes.data(), 1));
    CHECK(!tarnlink().CommLoop(block.data(), 4, nullptr, 1));
    CHECK(response.untouched_from(0));
    CHECK_EQ(g_com1->heard_count(), heard);
    // The next good exchange is the first thing on the wire.
    CHECK(tarnlink().CommLoop(block.data(), 4, response.bytes.data(), 1));
    const auto blocks = g_com1->commands_heard();
    REQUIRE(blocks.size() == heard + 1);
    CHECK_EQ(blocks.back(), block);
}

void not_open_fails_every_exchange()
{
    open_com1();
    tarnlink().dfComSetClose();
    const std::size_t heard = g_com1->heard_count();
    ResponseBuffer response;
    const auto start = Clock::now();
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 1);
    CHECK(ms_since(start) < 500);
    CHECK_EQ(g_com1->heard_count(), heard);
}

// ---- the held line on COM2

void stale_input_is_purged_at_open()
{
    HANDLE port = open_port_directly(2);
    REQUIRE(port != INVALID_HANDLE_VALUE);
    DWORD errors = 0;
    COMSTAT status{};
    CHECK(::ClearCommError(port, &errors, &status));
    CHECK_EQ(status.cbInQue, DWORD{4});  // left there by the line's holder
    ::CloseHandle(port);

    REQUIRE(tarnlink().dfComSetReady(9600, 2) == 0);
    tarnlink().dfComSetClose();

    port = open_port_directly(2);
    REQUIRE(port != INVALID_HANDLE_VALUE);
    status = {};
    CHECK(::ClearCommError(port, &errors, &status));
    CHECK_EQ(status.cbInQue, DWORD{0});
    ::CloseHandle(port);
}

void a_blocked_line_fails_at_the_write_deadline()
{
    REQUIRE(tarnlink().dfComSetReady(9600, 2) == 0);
    REQUIRE(tarnlink().dfComSetTimeout2(1) == 0);
    ResponseBuffer response;
    const auto start = Clock::now();
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 1);
    const long long took = ms_since(start);
    // Two tries, each a write held for its bound (the read's 1 s, as no write
    // time-out is set) and a read that waits out its 1 s.
    CHECK(took >= 3900);
    CHECK(took < 6000);
    std::printf("  the exchange on the blocked line gave up after %lld ms\n", took);
}

// ---- last: the COM12 amplifier's cable is pulled

void a_pulled_cable_ends_the_exchange()
{
    REQUIRE(tarnlink().dfComSetReady(9600, 12) == 0);
    REQUIRE(tarnlink().dfComSetTimeout2(1) == 0);
    REQUIRE(exchange_works());
    g_com12->arm("hang-up after-ack");
    ResponseBuffer response;
    auto start = Clock::now();
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 1);
    const long long took = ms_since(start);
    // Silence would be waited out twice (2 s); a lost line ends the exchange
    // at the latest when the wait that was running when it went is over.
    CHECK(took < 1900);
    std::printf("  the exchange ended %lld ms after it started\n", took);
    start = Clock::now();
    CHECK_EQ(tarnlink().communicate(kReadComData32, {}, response.bytes.data()), 1);
    CHECK(ms_since(start) < 500);
}

struct TestCase {
    const char* name;
    void (*run)();
};

const TestCase kTests[] = {
    {"ExportsExactlyTheThirteenNames", exports_exactly_the_thirteen_names},
    {"VersionIs0x1000", version_is_0x1000},
    {"BeforeAnyOpenSettingsFailAndCloseSucceeds", before_any_open_settings_fail_and_close_succeeds},
    {"CommandBlocksFollowTheWorkedExamples", command_blocks_follow_the_worked_examples},
    {"PortNumbersOutsideTheTableAndMissingDevicesFail",
     port_numbers_outside_the_table_and_missing_devices_fail},
    {"PortsAboveCom9OpenThroughTheDeviceNamespace",
     ports_above_com9_open_through_the_device_namespace},
    {"SecondSetReadyFailsAndLeavesFirstPortOpen", second_set_ready_fails_and_leaves_first_port_open},
    {"AHeldPortCannotBeOpenedAgain", a_held_port_cannot_be_opened_again},
    {"CloseThenReopenSameOrOtherPort", close_then_reopen_same_or_other_port},
    {"SettingsOfAClosedPortFail", settings_of_a_closed_port_fail},
    {"LineIs8N1AtTheRateWithXonXoffOffAndHardwareFlowControlKept",
     line_is_8n1_at_the_rate_with_xon_xoff_off_and_hardware_flow_control_kept},
    {"TimeoutValuesThatDoNotFitAreRefused", timeout_values_that_do_not_fit_are_refused},
    {"PortInitialAlwaysOpensCom1AndReleasesThePortItReplaces",
     port_initial_always_opens_com1_and_releases_the_port_it_replaces},
    {"CleanExchange", clean_exchange},
    {"EveryByteValueReachesTheAmplifierUnchanged",
     every_byte_value_reaches_the_amplifier_unchanged},
    {"EveryByteValueComesBackFromTheAmplifierUnchanged",
     every_byte_value_comes_back_from_the_amplifier_unchanged},
    {"RefusedEnqIsOfferedAgainThenGivenUp", refused_enq_is_offered_again_then_given_up},
    {"RefusedBlockIsSentAgainAfterAFreshEnq", refused_block_is_sent_again_after_a_fresh_enq},
    {"CorruptedResponseIsNakedAndTakenAgain", corrupted_response_is_naked_and_taken_again},
    {"SilenceAfterTheBlockIsWaitedOutTwice", silence_after_the_block_is_waited_out_twice},
    {"UnansweredEnqTimesOutPerTry", unanswered_enq_times_out_per_try},
    {"LongerReplyTimeoutWaitsForASlowAmplifier", longer_reply_timeout_waits_for_a_slow_amplifier},
    {"BackToBackExchangesAllSucceed", back_to_back_exchanges_all_succeed},
    {"OversizedCommandBlocksAreRefusedWithoutSending",
     oversized_command_blocks_are_refused_without_sending},
    {"NotOpenFailsEveryExchange", not_open_fails_every_exchange},
    {"StaleInputIsPurgedAtOpen", stale_input_is_purged_at_open},
    {"ABlockedLineFailsAtTheWriteDeadline", a_blocked_line_fails_at_the_write_deadline},
    {"APulledCableEndsTheExchange", a_pulled_cable_ends_the_exchange},
};

// A test that hangs (a write that never returns, say) must still end the run
// with a result: after this long it counts as failed and the runner stops.
constexpr milliseconds kTestLimit{60000};

std::atomic<int> g_passed{0};
std::atomic<int> g_failed{0};
std::atomic<const char*> g_running{nullptr};
std::atomic<long long> g_running_since{0};

long long now_ms()
{
    return std::chrono::duration_cast<milliseconds>(Clock::now().time_since_epoch()).count();
}

void watch_for_a_hung_test()
{
    for (;;) {
        ::Sleep(200);
        const char* name = g_running.load();
        if (name != nullptr && now_ms() - g_running_since.load() > kTestLimit.count()) {
            std::printf("  did not end within %lld s\n[   FAILED ] %s\n%d passed, %d failed\n",
                        static_cast<long long>(kTestLimit.count() / 1000), name, g_passed.load(),
                        g_failed.load() + 1);
            std::fflush(stdout);
            ::TerminateProcess(::GetCurrentProcess(), 1);
        }
    }
}

int run_all()
{
    std::thread(watch_for_a_hung_test).detach();
    for (const auto& test : kTests) {
        std::printf("[ RUN      ] %s\n", test.name);
        std::fflush(stdout);
        const int failures_before = g_failed_checks;
        const auto start = Clock::now();
        g_running_since = now_ms();
        g_running = test.name;
        try {
            test.run();
        } catch (const TestAborted&) {
        } catch (const std::exception& error) {
            report_failure(__FILE__, __LINE__, std::string("exception: ") + error.what());
        }
        tarnlink().dfComSetClose();
        g_running = nullptr;
        const bool ok = g_failed_checks == failures_before;
        ++(ok ? g_passed : g_failed);
        std::printf("[ %s ] %s (%lld ms)\n", ok ? "      OK" : "  FAILED", test.name,
                    ms_since(start));
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
    std::fflush(stdout);
    return g_failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    Tarnlink api = load_tarnlink();
    g_tarnlink = &api;
    if (argc == 3 && std::string(argv[1]) == "probe-open") {
        return api.dfComSetReady(9600, std::atoi(argv[2]));
    }
    if (argc != 3) {
        std::printf("usage: %s AMPSIM1_OUTPUT AMPSIM12_OUTPUT\n"
                    "       %s probe-open PORT_NUMBER\n",
                    argv[0], argv[0]);
        return 2;
    }
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    g_self = self;
    Amplifier com1(1, argv[1]);
    Amplifier com12(12, argv[2]);
    g_com1 = &com1;
    g_com12 = &com12;
    return run_all();
}
