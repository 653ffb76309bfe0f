#include "ParallelFiles.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace quillon {

void for_each_index_in_parallel(std::size_t count, const std::function<void(std::size_t)>& work)
{
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1U, 8U);
    std::atomic<std::size_t> next{0};
    std::mutex failure_lock;
    std::exception_ptr failure;
    const auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                work(i);
            } catch (...) {
                const std::scoped_lock lock(failure_lock);
                if (!failure) {
                    failure = std::current_exception();
                }
                next = count;  // no index is started after a failure
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (unsigned t = 1; t < threads && t < count; ++t) {
            helpers.emplace_back(run);
        }
        run();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

std::vector<LogFileRead> read_log_files(std::span<const std::string> paths)
{
    std::vector<LogFileRead> reads(paths.size());
    for_each_index_in_parallel(paths.size(), [&](std::size_t i) {
        try {
            reads[i].log = read_log_file(paths[i]);
        } catch (const std::exception& error) {
            reads[i].error = error.what();
        }
    });
    return reads;
}

}  // namespace quillon
