#pragma once

#include <cstddef>
#include <cstdint>
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

// `count` zeroed 64-bit words. A big table (1 MiB and more) gets a mapping of its own, advised
// for huge pages: a table of a million slots filled at random then takes one fault for every
// 2 MiB rather than one for every 4 KiB, and the kernel's zeroed pages need no pass to zero them.
class TZeroedWords
{
public:
    TZeroedWords() = default;
    explicit TZeroedWords(std::size_t count);
    ~TZeroedWords();
    TZeroedWords(TZeroedWords &&other) noexcept;
    TZeroedWords &operator=(TZeroedWords &&other) noexcept;
    TZeroedWords(const TZeroedWords &) = delete;
    TZeroedWords &operator=(const TZeroedWords &) = delete;

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    std::uint64_t &operator[](std::size_t i) { return m_words[i]; }
    std::uint64_t operator[](std::size_t i) const { return m_words[i]; }
    const std::uint64_t *begin() const { return m_words; }
    const std::uint64_t *end() const { return m_words + m_count; }

private:
    void release();
    std::uint64_t *m_words = nullptr;
    std::size_t m_count = 0;
    bool m_mapped = false;
};
