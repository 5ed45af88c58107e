// Kept apart from the tests: <windows.h> and the library's header both name
// a BITMAP type.

#include "low_address_space.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// Windows reserves address space in whole blocks of this size.
constexpr std::uintptr_t allocation_granularity = 64 * 1024;

std::uintptr_t round_up_to_granularity(std::uintptr_t address)
{
    return (address + allocation_granularity - 1) & ~(allocation_granularity - 1);
}

void reserve_address_space_below_4_gib()
{
    MEMORY_BASIC_INFORMATION region;
    std::uintptr_t address = allocation_granularity;
    while (address < four_gib &&
           VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) != 0) {
        const std::uintptr_t end =
            reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
        const std::uintptr_t base = round_up_to_granularity(address);
        const std::uintptr_t top = std::min(end, four_gib);
        if (region.State == MEM_FREE && top > base)
            VirtualAlloc(reinterpret_cast<void*>(base), top - base, MEM_RESERVE, PAGE_NOACCESS);
        address = end;
    }
}

// The heap's own blocks below 4 GiB were committed before the reservation;
// fill them, so the heap has to grow, and it can now grow only above 4 GiB.
void fill_heap_below_4_gib()
{
    constexpr std::size_t chunk = 16 * 1024;
    static std::vector<void*> taken;
    while (void* block = std::malloc(chunk)) {
        if (reinterpret_cast<std::uintptr_t>(block) >= four_gib) {
            std::free(block);
            return;
        }
        taken.push_back(block);
    }
}

} // namespace

void use_up_memory_below_4_gib()
{
    reserve_address_space_below_4_gib();
    fill_heap_below_4_gib();
}
