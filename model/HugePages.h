#pragma once

#include <cstddef>
#include <vector>

// Asks the kernel to back the untouched memory at [data, data + bytes) with huge pages where it
// can. A list of a million charges filled at once then takes one page fault for every 2 MiB
// instead of one for every 4 KiB, which is most of the time of filling it. Ranges under 32 MiB
// are left as they are; memory already touched keeps its pages.
void AdviseHugePages(const void *data, std::size_t bytes);

// Room for `count` elements in `list`, the room advised as above.
template <typename T> void ReserveWithHugePages(std::vector<T> &list, std::size_t count)
{
    const bool grows = count > list.capacity();
    list.reserve(count);
    if (grows)
        AdviseHugePages(list.data() + list.size(), (list.capacity() - list.size()) * sizeof(T));
}
