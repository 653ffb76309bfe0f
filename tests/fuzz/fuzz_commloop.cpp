// Fuzzes the response side of _CommLoop: the peer's bytes come from the
// input, and the exchange must stay inside the caller's response buffer and
// inside its retry budget whatever the peer sends.
//
// Input: [flags][n][peer bytes...]
//   flags bits 0-1: retry limit 0..3
//   flags bit 2:    the line hangs up when the peer bytes run out, instead of
//                   the reads just timing out
//   n:              parameter count of the command block, taken modulo 252
#include "BlockProtocol.h"
#include "ScriptedLine.h"
#include "tarnlink.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <span>
#include <vector>

namespace {

using tarnlink::ACK;
using tarnlink::ENQ;
using tarnlink::EOT;
using tarnlink::NAK;

struct Run {
    int retry_limit = 0;
    bool hang_up = false;
    std::size_t block_length = 0;
    bool ok = false;
};

[[noreturn]] void fail(const char* what, int source_line, const Run& run)
{
    const auto& line = tarnlink::fuzz::scripted_line();
    std::fprintf(stderr,
                 "fuzz_commloop: check failed (line %d): %s\n"
                 "  retry_limit=%d hang_up=%d block_length=%zu result=%d\n"
                 "  reads=%zu writes=%zu purges=%zu drains=%zu bytes_written=%zu"
                 " peer_bytes=%zu handed_out=%zu hung_up=%d calls_after_hang_up=%zu\n"
                 "  calls:",
                 source_line, what, run.retry_limit, int{run.hang_up}, run.block_length,
                 int{run.ok}, line.read_calls, line.write_calls, line.purge_calls, line.drain_calls,
                 line.bytes_written, line.peer.size(), line.handed_out, int{line.hung_up},
                 line.calls_after_hang_up);
    for (const auto& call : line.calls) {
        std::fprintf(stderr, "\n    %s", call.is_write ? "write" : "read ");
        for (std::size_t i = 0; i < call.bytes.size() && i < 8; ++i) {
            std::fprintf(stderr, " %02X", call.bytes[i]);
        }
        if (call.bytes.size() > 8) {
            std::fprintf(stderr, " ... (%zu bytes)", call.bytes.size());
        }
    }
    std::fprintf(stderr, "\n");
    std::abort();
}

#define CHECK(cond)                     \
    do {                                \
        if (!(cond)) {                  \
            fail(#cond, __LINE__, run); \
        }                               \
    } while (0)

// Fixed parameter bytes: the block's content does not steer the exchange,
// only its length does.
constexpr auto kParams = [] {
    std::array<std::uint8_t, tarnlink::kMaxParameterCount> params{};
    for (std::size_t i = 0; i < params.size(); ++i) {
        params[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return params;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    Run run;
    run.retry_limit = data[0] & 0x03;
    run.hang_up = (data[0] & 0x04) != 0;
    const auto n = static_cast<std::uint8_t>(data[1] % (tarnlink::kMaxParameterCount + 1));
    const std::span<const std::uint8_t> peer(data + 2, size - 2);

    // Opened once and kept, as a program using the library would.
    static const bool ready = dfComSetReady(9600, 1) == 0;
    CHECK(ready);

    // Heap buffers of exactly the documented sizes, so that AddressSanitizer
    // reports any access past them.
    run.block_length = std::size_t{n} + 4;
    const auto block = std::make_unique<std::uint8_t[]>(run.block_length);
    int length = 0;
    CHECK(dfComMakeData(n, 0x01, 0x02, 0x03, kParams.data(), block.get(), &length) == 0);
    CHECK(static_cast<std::size_t>(length) == run.block_length);
    const auto response = std::make_unique<std::uint8_t[]>(tarnlink::kMaxResponseBlock);

    auto& line = tarnlink::fuzz::scripted_line();
    line.reset(peer, run.hang_up);
    run.ok = _CommLoop(block.get(), length, response.get(), run.retry_limit);

    const std::size_t tries = static_cast<std::size_t>(run.retry_limit) + 1;
    // Per try, the send phase reads EOT and ACK, the response phase ENQ,
    // the length and the body.
    CHECK(line.read_calls <= 5 * tries);
    CHECK(line.purge_calls == 1);

    // Walk the reads and writes in order. The send phase writes ENQ, and the
    // block only when the peer has answered that ENQ with EOT. The response
    // phase starts only when the peer has answered the block with ACK, never
    // goes back, and writes EOT (only when the peer has just sent ENQ), NAK
    // and ACK.
    const std::span<const std::uint8_t> sent_block(block.get(), run.block_length);
    const auto is_block = [&](const std::vector<std::uint8_t>& w) {
        return w.size() != 1 &&
               std::equal(w.begin(), w.end(), sent_block.begin(), sent_block.end());
    };
    const auto is_byte = [](const std::vector<std::uint8_t>& bytes, std::uint8_t byte) {
        return bytes.size() == 1 && bytes[0] == byte;
    };
    std::size_t enq = 0, ack = 0, nak = 0;
    bool response_phase = false;
    const std::vector<std::uint8_t>* last_write = nullptr;
    const std::vector<std::uint8_t>* last_read = nullptr;  // since the last write
    const std::vector<std::uint8_t>* reply_to_block = nullptr;
    for (const auto& call : line.calls) {
        if (!call.is_write) {
            if (last_read == nullptr && last_write != nullptr && is_block(*last_write)) {
                reply_to_block = &call.bytes;
            }
            last_read = &call.bytes;
            continue;
        }
        const auto& w = call.bytes;
        CHECK(last_write != nullptr || is_byte(w, ENQ));
        if (is_block(w)) {
            CHECK(!response_phase);
            CHECK(is_byte(*last_write, ENQ));
            CHECK(last_read != nullptr && is_byte(*last_read, EOT));
        } else {
            CHECK(w.size() == 1);
            CHECK(w[0] == ENQ || w[0] == EOT || w[0] == ACK || w[0] == NAK);
            if (w[0] == ENQ) {
                CHECK(!response_phase);
                ++enq;
            } else {
                if (!response_phase) {
                    CHECK(is_block(*last_write));
                    CHECK(reply_to_block != nullptr && is_byte(*reply_to_block, ACK));
                    response_phase = true;
                }
                if (w[0] == EOT) {
                    CHECK(last_read != nullptr && is_byte(*last_read, ENQ));
                }
                ack += w[0] == ACK;
                nak += w[0] == NAK;
            }
        }
        last_write = &w;
        last_read = nullptr;
        reply_to_block = nullptr;
    }
    CHECK(last_write != nullptr);
    CHECK(enq <= tries);
    CHECK(nak <= tries);
    CHECK(ack == (run.ok ? 1u : 0u));
    const auto& last = *last_write;

    if (line.hung_up) {
        // A hang-up ends the exchange at once: nothing more is asked of the
        // device, not even a drain.
        CHECK(!run.ok);
        CHECK(line.calls_after_hang_up == 0);
        return 0;
    }

    // Whichever way it ends, the last byte is let out before returning.
    CHECK(line.drain_calls == 1);

    if (run.ok) {
        CHECK(is_byte(last, ACK));
        CHECK(nak <= tries - 1);
        const std::size_t whole = std::size_t{response[0]} + 4;
        const std::span<const std::uint8_t> got(response.get(), whole);
        CHECK(std::accumulate(got.begin(), got.end(), 0u) % 256 == 0);
        // The accepted block is the last thing read, byte for byte as the
        // peer sent it.
        CHECK(whole <= line.handed_out);
        const auto from_peer = peer.subspan(line.handed_out - whole, whole);
        CHECK(std::equal(got.begin(), got.end(), from_peer.begin(), from_peer.end()));
    } else if (response_phase) {
        // Only an exhausted NAK budget ends the response phase.
        CHECK(is_byte(last, NAK));
        CHECK(nak == tries);
    } else {
        // Only an exhausted send budget ends the send phase: every try
        // started with ENQ, and the last ended waiting for EOT or for ACK.
        CHECK(enq == tries);
        CHECK(is_byte(last, ENQ) || is_block(last));
    }
    return 0;
}
