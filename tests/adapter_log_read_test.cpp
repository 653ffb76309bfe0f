// A whole log read through each adapter brings back exactly the records the
// simulated amplifier holds.
#include "Amplifier.h"
#include "BlockPeer.h"
#include "Commands.h"
#include "LogRead.h"
#include "PtyEndpoint.h"
#include "UsbEndpoint.h"

#include <gtest/gtest.h>

namespace {

using testsupport::FilledAmplifier;

void expect_log_matches(const FilledAmplifier& filled, const testsupport::LogRead& log)
{
    EXPECT_EQ(log.condition.trigger_index, ampsim::kNoStopCondition);
    EXPECT_EQ(log.last_status, 0);
    ASSERT_EQ(log.records.size(), ampsim::kLogRecords);
    EXPECT_EQ(log.records, filled.model.log_in_read_order());
    // The log had wrapped: no empty record is left.
    EXPECT_EQ(std::count(log.records.begin(), log.records.end(), ampsim::Record{}), 0);
}

TEST(WholeLogRead, ThroughTheSerialAdapter)
{
    FilledAmplifier filled;
    ampsim::Amplifier amplifier(filled.model);
    ampsim::PtyEndpoint line(1);
    ampsim::BlockPeer peer(line, amplifier.serial_responder());
    quillon::TCommAdapter adapter;
    ASSERT_TRUE(adapter.LoadDriver());
    ASSERT_TRUE(adapter.OpenPort("COM1"));
    const auto log = testsupport::read_whole_log(
        [&](std::uint32_t word, std::span<const std::uint8_t> params, std::span<std::uint8_t> out) {
            return adapter.SendCommand(word, params, out);
        });
    ASSERT_TRUE(log.has_value());
    expect_log_matches(filled, *log);
    EXPECT_EQ(peer.commands().size(), 65u);
}

TEST(WholeLogRead, ThroughTheUsbAdapter)
{
    FilledAmplifier filled;
    ampsim::Amplifier amplifier(filled.model);
    ampsim::UsbEndpoint endpoint(amplifier.usb_handler());
    quillon::TCommAdapterUSB adapter;
    ASSERT_TRUE(adapter.LoadDriver());
    ASSERT_TRUE(adapter.Connect());
    const auto log = testsupport::read_whole_log(
        [&](std::uint32_t word, std::span<const std::uint8_t> params, std::span<std::uint8_t> out) {
            return adapter.SendCommand(word, 0, params, out);
        });
    adapter.DisconnectAll();
    ASSERT_TRUE(log.has_value());
    expect_log_matches(filled, *log);
    EXPECT_EQ(endpoint.commands().size(), 65u);
}

}  // namespace
