#include "failing_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> armed{false};
std::atomic<bool> reached{false};
std::atomic<std::size_t> remaining{0};
thread_local int paused = 0;

void* allocate(std::size_t size) {
    if (armed.load(std::memory_order_relaxed) && paused == 0 && remaining.fetch_sub(1) == 1) {
        armed = false;
        reached = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

}  // namespace

namespace failing_allocations {

void failAt(std::size_t n) {
    reached = false;
    remaining = n;
    armed = n != 0;
}

bool disarm() {
    armed = false;
    return reached.load();
}

Pause::Pause() {
    ++paused;
}

Pause::~Pause() {
    --paused;
}

}  // namespace failing_allocations

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
