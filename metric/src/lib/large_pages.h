#pragma once

#include <cstddef>

namespace metric {

// Asks the system to back the whole pages inside [data, data + bytes) with large pages where it
// can (transparent huge pages on Linux; nothing elsewhere). The metric's big per-call buffers
// are written once from fresh memory, and with small pages the faults of that first touch cost
// as much as the arithmetic. Contents and behaviour are unchanged either way.
void prefer_large_pages(void* data, std::size_t bytes);

}  // namespace metric
