// What only Tarnlink.dll has: its export table, the \\.\COMn names, the input
// queue as Windows shows it, and the claim that keeps a second Tarnlink user
// off a held port where Wine lets a second handle in.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ScriptedPort.h"
#include "TarnlinkApi.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::ScriptedPort;
using testsupport::tarnlink;

class PortControlOnWindows : public ::testing::Test {
protected:
    void TearDown() override { tarnlink().dfComSetClose(); }
};

// A handle on COMn of its own, past the library.
HANDLE open_port_directly(int port_number)
{
    const std::string path = "\\\\.\\COM" + std::to_string(port_number);
    return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
}

// The bytes waiting in COMn's input queue, as a handle of its own sees them.
std::optional<DWORD> queued_input(int port_number)
{
    const HANDLE port = open_port_directly(port_number);
    if (port == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    DWORD errors = 0;
    COMSTAT status{};
    const bool read = ::ClearCommError(port, &errors, &status) != 0;
    ::CloseHandle(port);
    return read ? std::optional<DWORD>(status.cbInQue) : std::nullopt;
}

// Whether the library's claim on COMn, a named object, is there.
bool claimed(int port_number)
{
    const std::string name = "Local\\Tarnlink.COM" + std::to_string(port_number);
    const HANDLE claim = ::OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    if (claim == nullptr) {
        return false;
    }
    ::CloseHandle(claim);
    return true;
}

// The names in a loaded module's export directory, and how many functions
// it exports in all.
struct ExportTable {
    std::vector<std::string> names;
    DWORD function_count = 0;
};

ExportTable export_table_of(HMODULE module)
{
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ExportTable table;
    if (entry.VirtualAddress == 0) {
        return table;
    }
    const auto* directory =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    table.function_count = directory->NumberOfFunctions;
    const auto* name_offsets = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
        table.names.emplace_back(reinterpret_cast<const char*>(base + name_offsets[i]));
    }
    return table;
}

TEST(TarnlinkDll, ExportsExactlyTheThirteenNamesUndecorated)
{
    tarnlink();  // loads it
    const HMODULE module = ::GetModuleHandleA("tarnlink.dll");
    ASSERT_NE(module, nullptr);
    ExportTable table = export_table_of(module);
    std::vector<std::string> expected = {
        "dfGetDllVersion",    "dfComSetReady",    "dfComSetClose", "dfComSetBaudRate",
        "dfComSetTimeout1",   "dfComSetTimeout2", "_PortInitial",  "_PortClose",
        "_SetBaudRate",       "_SetTimeouts",     "dfComMakeData", "_CommLoop",
        "dfComCommunication",
    };
    std::sort(table.names.begin(), table.names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(table.function_count, 13u);
    EXPECT_EQ(table.names, expected);
}

TEST_F(PortControlOnWindows, PortsAboveCom9OpenThroughTheDeviceNamespace)
{
    ScriptedPort com12(12);
    // Without the prefix "COM12" names a file, not the port.
    const HANDLE plain =
        ::CreateFileA("COM12", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(plain, INVALID_HANDLE_VALUE);
    if (plain != INVALID_HANDLE_VALUE) {
        ::CloseHandle(plain);
    }
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 12), 0);
    EXPECT_TRUE(tarnlink().exchange_works());
    EXPECT_EQ(com12.commands().size(), 1u);
}

TEST_F(PortControlOnWindows, AHeldPortIsClaimedAgainstASecondUser)
{
    ScriptedPort com1(1);
    EXPECT_FALSE(claimed(1));
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_TRUE(claimed(1));
    // Windows' serial driver turns a second handle away by itself; Wine's
    // lets it in, which is why the library claims the port as well.
    const HANDLE second = open_port_directly(1);
    const bool second_opened = second != INVALID_HANDLE_VALUE;
    if (second_opened) {
        ::CloseHandle(second);
    }
    if (!testsupport::under_wine()) {
        EXPECT_FALSE(second_opened);
    }
    EXPECT_TRUE(tarnlink().exchange_works());
    // Once closed, the port is free again, claim and all.
    ASSERT_EQ(tarnlink().dfComSetClose(), 0);
    EXPECT_FALSE(claimed(1));
    const HANDLE later = open_port_directly(1);
    EXPECT_NE(later, INVALID_HANDLE_VALUE);
    if (later != INVALID_HANDLE_VALUE) {
        ::CloseHandle(later);
    }
}

TEST_F(PortControlOnWindows, StaleInputIsPurgedAtOpen)
{
    ScriptedPort com2(2);
    // What an abandoned exchange may leave behind: ACK, EOT, ENQ, a length.
    ASSERT_TRUE(com2.leave_stale_input({0x06, 0x04, 0x05, 0x02}));
    EXPECT_EQ(queued_input(2), DWORD{4});
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 2), 0);
    ASSERT_EQ(tarnlink().dfComSetClose(), 0);
    EXPECT_EQ(queued_input(2), DWORD{0});
}

}  // namespace
