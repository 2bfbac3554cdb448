#pragma once
// Work spread over a few threads, for the steps of a load that split into
// independent pieces (parts of the file, subtrees of the quadtree).

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

// The number of threads to use when `requested` is 0: as many as the machine
// has, at most 8 (one in a WebAssembly build without threads); otherwise
// `requested`.
inline unsigned threadsFor(unsigned requested) {
    if (requested != 0) return requested;
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    return 1;
#endif
    const unsigned available = std::thread::hardware_concurrency();
    return available == 0 ? 1 : std::min(available, 8u);
}

// Runs `work(k)` for every k in [0, count) on up to `threads` threads, the
// calling one included; pieces are handed out in order. When a thread cannot
// be started, fewer do the work. An exception thrown by a piece stops the
// pieces not yet started and is rethrown here.
template <typename Work>
void runParallel(unsigned threads, std::size_t count, Work work) {
    if (threads <= 1 || count <= 1) {
        for (std::size_t k = 0; k < count; ++k) work(k);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto worker = [&] {
        try {
            for (std::size_t k = next++; k < count; k = next++) work(k);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(failureLock);
            if (!failure) failure = std::current_exception();
            next = count;  // the others stop after their current piece
        }
    };
    std::vector<std::thread> pool;
    const std::size_t extra = std::min<std::size_t>(threads, count) - 1;
    try {
        pool.reserve(extra);
        for (std::size_t t = 0; t < extra; ++t) pool.emplace_back(worker);
    } catch (...) {
        // No memory or no thread for another worker: the ones running and
        // this thread take every piece between them.
    }
    worker();
    for (std::thread& thread : pool) thread.join();
    if (failure) std::rethrow_exception(failure);
}
