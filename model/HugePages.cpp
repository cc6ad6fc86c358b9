#include "HugePages.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include <sys/mman.h>

void AdviseHugePages(const void *data, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t Huge = std::uintptr_t(2) << 20;
    // Only ranges the allocator surely mapped on their own (it maps anything over 32 MiB so):
    // advised memory among the allocator's small blocks would be kept in huge pages long after
    // those are freed.
    constexpr std::size_t Least = std::size_t(32) << 20;
    if (bytes < Least)
        return;
    const std::uintptr_t from = (std::uintptr_t(data) + Huge - 1) & ~(Huge - 1);
    const std::uintptr_t to = (std::uintptr_t(data) + bytes) & ~(Huge - 1);
    // Only advice: where the kernel has no huge pages to give, the memory stays as it is.
    if (to > from)
        ::madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

TZeroedWords::TZeroedWords(std::size_t count) : m_count(count)
{
    if (count == 0)
        return;
    const std::size_t bytes = count * sizeof(std::uint64_t);
    if (bytes >= (std::size_t(1) << 20)) {
        void *mapped =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
            ::madvise(mapped, bytes, MADV_HUGEPAGE); // only advice
#endif
            m_words = static_cast<std::uint64_t *>(mapped);
            m_mapped = true;
            return;
        }
    }
    m_words = static_cast<std::uint64_t *>(std::calloc(count, sizeof(std::uint64_t)));
    if (!m_words)
        throw std::bad_alloc();
}

TZeroedWords::~TZeroedWords()
{
    release();
}

TZeroedWords::TZeroedWords(TZeroedWords &&other) noexcept
    : m_words(std::exchange(other.m_words, nullptr)), m_count(std::exchange(other.m_count, 0)),
      m_mapped(std::exchange(other.m_mapped, false))
{
}

TZeroedWords &TZeroedWords::operator=(TZeroedWords &&other) noexcept
{
    if (this != &other) {
        release();
        m_words = std::exchange(other.m_words, nullptr);
        m_count = std::exchange(other.m_count, 0);
        m_mapped = std::exchange(other.m_mapped, false);
    }
    return *this;
}

void TZeroedWords::release()
{
    if (m_mapped)
        ::munmap(m_words, m_count * sizeof(std::uint64_t));
    else
        std::free(m_words);
    m_words = nullptr;
    m_count = 0;
    m_mapped = false;
}
