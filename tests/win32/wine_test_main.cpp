// The Windows suite's entry. A case that hangs (a write that never returns,
// say) must still end the run with a result: past kCaseLimit a watchdog
// names it and ends the program, failed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kCaseLimit{60};

class HangWatch : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& test) override
    {
        const std::lock_guard lock(mutex_);
        running_ = std::string(test.test_suite_name()) + "." + test.name();
        started_ = Clock::now();
    }

    void OnTestEnd(const ::testing::TestInfo&) override
    {
        const std::lock_guard lock(mutex_);
        running_.reset();
    }

    // Runs on a thread of its own for as long as the program does.
    void watch()
    {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const std::lock_guard lock(mutex_);
            if (running_ && Clock::now() - started_ > kCaseLimit) {
                std::printf("[  FAILED  ] %s did not end within %lld s\n", running_->c_str(),
                            static_cast<long long>(kCaseLimit.count()));
                std::fflush(stdout);
                ::TerminateProcess(::GetCurrentProcess(), 1);
            }
        }
    }

private:
    std::mutex mutex_;
    std::optional<std::string> running_;
    Clock::time_point started_;
};

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    auto* watch = new HangWatch;  // the listener list owns it
    ::testing::UnitTest::GetInstance()->listeners().Append(watch);
    std::thread([watch] { watch->watch(); }).detach();
    return RUN_ALL_TESTS();
}
