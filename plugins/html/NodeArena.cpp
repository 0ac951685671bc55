#include "NodeArena.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define VEMRA_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEMRA_ARENA_ASAN 1
#endif
#endif

#ifdef VEMRA_ARENA_ASAN
#include <sanitizer/asan_interface.h>
#define ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define ARENA_POISON(p, n) ((void)(p), (void)(n))
#define ARENA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace vemra {
namespace {

// Chunks come from slabs mapped straight from the system: 1 chunk for a small parse, then
// twice as many each time up to 16, so that a big tree needs few mappings and a small one
// little memory. A slab is unmapped when the last of its chunks is released.
constexpr std::size_t kChunk = std::size_t{1} << 16;
constexpr std::uint32_t kMaxSlabChunks = 16;

// At the start of every chunk. Nodes of one tree may be deleted on another thread than the
// one that parsed it, hence the atomics.
struct ChunkHeader {
    std::atomic<std::uint32_t> live;       // nodes in the chunk, plus the arena's hold
    std::atomic<std::uint32_t> slabLive;   // first chunk of a slab: its chunks not yet released
    std::uint32_t slabChunks;              // first chunk: size of the slab in chunks
    std::uint32_t unused;
    unsigned char* slab;                   // the slab's first chunk
};

constexpr std::size_t kHeader = (sizeof(ChunkHeader) + 7) & ~std::size_t{7};

ChunkHeader& HeaderOf(unsigned char* chunk) { return *std::launder(reinterpret_cast<ChunkHeader*>(chunk)); }

unsigned char* ChunkOf(void* object) {
    return reinterpret_cast<unsigned char*>(reinterpret_cast<std::uintptr_t>(object) & ~(kChunk - 1));
}

unsigned char* MapSlab(std::uint32_t chunks) {
    const std::size_t bytes = std::size_t{chunks} * kChunk;
    void* raw = mmap(nullptr, bytes + kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    auto* start = static_cast<unsigned char*>(raw);
    auto* slab = reinterpret_cast<unsigned char*>((reinterpret_cast<std::uintptr_t>(start) + kChunk - 1) & ~(kChunk - 1));
    if (slab > start) munmap(start, static_cast<std::size_t>(slab - start));
    unsigned char* end = start + bytes + kChunk;
    if (end > slab + bytes) munmap(slab + bytes, static_cast<std::size_t>(end - (slab + bytes)));
#ifdef MADV_POPULATE_WRITE
    // A slab of several chunks belongs to a big tree, which will use them: mapping them in
    // at once costs less than a page fault for each page. Older kernels just say no.
    if (chunks > 1) madvise(slab, bytes, MADV_POPULATE_WRITE);
#endif
    ::new (slab) ChunkHeader{{0}, {chunks}, chunks, 0, slab};
    return slab;
}

void ReleaseSlabChunks(unsigned char* slab, std::uint32_t n) noexcept {
    ChunkHeader& first = HeaderOf(slab);
    if (first.slabLive.fetch_sub(n, std::memory_order_acq_rel) == n) {
        const std::size_t bytes = std::size_t{first.slabChunks} * kChunk;
        ARENA_UNPOISON(slab, bytes);
        munmap(slab, bytes);
    }
}

void Unref(unsigned char* chunk, std::uint32_t n = 1) noexcept {
    ChunkHeader& header = HeaderOf(chunk);
    if (header.live.fetch_sub(n, std::memory_order_acq_rel) == n) ReleaseSlabChunks(header.slab, 1);
}

// Makes chunk k of the slab ready for allocation, with the arena's hold on it.
unsigned char* StartChunk(unsigned char* slab, std::uint32_t k) {
    unsigned char* chunk = slab + std::size_t{k} * kChunk;
    if (k == 0) {
        HeaderOf(chunk).live.store(1, std::memory_order_relaxed);
    } else {
        ::new (chunk) ChunkHeader{{1}, {0}, 0, 0, slab};
    }
    ARENA_POISON(chunk + kHeader, kChunk - kHeader);
    return chunk;
}

}  // namespace

TNodeArena::~TNodeArena() {
    DropChunk();
    if (slab_ != nullptr && nextChunk_ < slabChunks_) ReleaseSlabChunks(slab_, slabChunks_ - nextChunk_);
}

TNodeArena& TNodeArena::ForThisThread() {
    static thread_local TNodeArena arena;
    return arena;
}

void TNodeArena::DropChunk() noexcept {
    if (chunk_ != nullptr) Unref(chunk_);
    chunk_ = nullptr;
    used_ = 0;
}

void TNodeArena::NextChunk() {
    DropChunk();
    if (slab_ == nullptr || nextChunk_ == slabChunks_) {
        const std::uint32_t chunks = slab_ == nullptr ? 1 : std::min(slabChunks_ * 2, kMaxSlabChunks);
        slab_ = MapSlab(chunks);
        slabChunks_ = chunks;
        nextChunk_ = 0;
    }
    chunk_ = StartChunk(slab_, nextChunk_++);
    used_ = kHeader;
}

void* TNodeArena::AllocateLarge(std::size_t size) {
    // A node too big to share a chunk gets a slab of its own; it starts within the first
    // 64 KB, where Release looks for the header.
    const auto chunks = static_cast<std::uint32_t>((kHeader + size + kChunk - 1) / kChunk);
    unsigned char* slab = MapSlab(chunks);
    HeaderOf(slab).slabLive.store(1, std::memory_order_relaxed);
    HeaderOf(slab).live.store(1, std::memory_order_relaxed);
    return slab + kHeader;
}

void* TNodeArena::Allocate(std::size_t size) {
    size = (size + 7) & ~std::size_t{7};
    if (size > kChunk - kHeader) return AllocateLarge(size);
    if (chunk_ == nullptr || used_ + size > kChunk) NextChunk();
    void* slot = chunk_ + used_;
    used_ += size;
    HeaderOf(chunk_).live.fetch_add(1, std::memory_order_relaxed);
    ARENA_UNPOISON(slot, size);
    return slot;
}

void TNodeArena::Release(void* object, std::size_t size) noexcept {
    if (object == nullptr) return;
    ARENA_POISON(object, size);
    Unref(ChunkOf(object));
}

void TNodeArena::Releaser::Add(void* object, std::size_t size) noexcept {
    ARENA_POISON(object, size);
    unsigned char* chunk = ChunkOf(object);
    if (chunk != chunk_) {
        Flush();
        chunk_ = chunk;
    }
    ++count_;
}

void TNodeArena::Releaser::Flush() noexcept {
    if (count_ != 0) Unref(chunk_, count_);
    count_ = 0;
}

}  // namespace vemra
