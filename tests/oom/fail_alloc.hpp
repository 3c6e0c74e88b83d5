// Allocation failure injection for the out-of-memory suite. Linked into a test
// executable, it routes the allocations of the executable and of every library
// loaded with it (the store's malloc family, everyone's operator new) through
// a counter that can make one of them fail.
#ifndef ORVEX_TESTS_FAIL_ALLOC_HPP
#define ORVEX_TESTS_FAIL_ALLOC_HPP

namespace fail_alloc {

// The nth allocation from now (1: the next one) fails, and only that one:
// malloc and its relatives return null, operator new throws std::bad_alloc.
void arm(long nth);
// Stops the countdown; true when the armed allocation was reached and failed.
bool disarm();
// Blocks allocated through the hooks and not yet freed: compare two readings.
long live_blocks();

} // namespace fail_alloc

#endif
