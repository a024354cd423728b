#pragma once
// Replaces the global operator new/delete with versions that count allocations, to show that a
// path allocates nothing. Include it in exactly one source file of a test program.
#include <atomic>
#include <cstdlib>
#include <new>

namespace testsupport {
inline std::atomic<long> allocations{0};
}  // namespace testsupport

#if defined(__GNUC__) && !defined(__clang__)
// The replacements below are a matched pair; GCC takes the new one for the built-in.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  testsupport::allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  ::operator delete(p);
}
// The nothrow forms (std::stable_sort's temporary buffer uses them) must come from the same
// heap as the delete above, or a sanitizer's own nothrow new is freed here.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  testsupport::allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
