#include "settings/wipe.h"

#include <atomic>

namespace torvane {

void WipeBytes(void *data, size_t size)
{
	// Volatile stores may not be dropped as dead; the fence keeps the compiler
	// from moving them past a following free.
	volatile unsigned char *bytes = static_cast<volatile unsigned char *>(data);
	for (size_t i = 0; i < size; i++)
		bytes[i] = 0;
	std::atomic_signal_fence(std::memory_order_seq_cst);
}

} // namespace torvane
