#include "NodeArena.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace vemra {
namespace {

// Chunks come from slabs of the C heap, 64 KB aligned: 1 chunk for a small parse, then twice
// as many each time up to 16, so that a big tree needs few and a small one little memory.
// A slab goes back to the heap when the last of its chunks is released.
constexpr std::size_t kChunk = TNodeArena::kChunkBytes;
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

unsigned char* NewSlab(std::uint32_t chunks) {
    const std::size_t bytes = std::size_t{chunks} * kChunk;
    auto* slab = static_cast<unsigned char*>(std::aligned_alloc(kChunk, bytes));
    if (slab == nullptr) throw std::bad_alloc();
    ::new (slab) ChunkHeader{{0}, {chunks}, chunks, 0, slab};
    return slab;
}

void ReleaseSlabChunks(unsigned char* slab, std::uint32_t n) noexcept {
    ChunkHeader& first = HeaderOf(slab);
    if (first.slabLive.fetch_sub(n, std::memory_order_acq_rel) == n) {
        const std::size_t bytes = std::size_t{first.slabChunks} * kChunk;
        VEMRA_ARENA_UNPOISON(slab, bytes);
        std::free(slab);
    }
}

void Unref(unsigned char* chunk, std::uint32_t n = 1) noexcept {
    ChunkHeader& header = HeaderOf(chunk);
    if (header.live.fetch_sub(n, std::memory_order_acq_rel) == n) ReleaseSlabChunks(header.slab, 1);
}

// While an arena allocates from a chunk, the chunk's count holds kHold for it, more than the
// chunk can hold nodes, so that nodes deleted meanwhile never bring the count to zero.
constexpr std::uint32_t kHold = 1u << 30;
static_assert(kChunk / 8 < kHold);

// Makes chunk k of the slab ready for allocation, with the arena's hold on it.
unsigned char* StartChunk(unsigned char* slab, std::uint32_t k) {
    unsigned char* chunk = slab + std::size_t{k} * kChunk;
    if (k == 0) {
        HeaderOf(chunk).live.store(kHold, std::memory_order_relaxed);
    } else {
        ::new (chunk) ChunkHeader{{kHold}, {0}, 0, 0, slab};
    }
    VEMRA_ARENA_POISON(chunk + kHeader, kChunk - kHeader);
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
    // The chunk's count held kHold for the arena; its allocations since then replace that.
    if (chunk_ != nullptr) Unref(chunk_, kHold - pendingLive_);
    chunk_ = nullptr;
    used_ = 0;
    pendingLive_ = 0;
}

void TNodeArena::NextChunk() {
    DropChunk();
    if (slab_ == nullptr || nextChunk_ == slabChunks_) {
        const std::uint32_t chunks = slab_ == nullptr ? 1 : std::min(slabChunks_ * 2, kMaxSlabChunks);
        slab_ = NewSlab(chunks);
        slabChunks_ = chunks;
        nextChunk_ = 0;
    }
    chunk_ = StartChunk(slab_, nextChunk_++);
    used_ = kHeader;
}

void* TNodeArena::AllocateLarge(std::size_t size) {
    // A node too big to share a chunk gets a slab of its own; it starts within the first
    // 64 KB, where Release looks for the header.
    if (size > (std::size_t{1} << 46)) throw std::bad_alloc();
    const auto chunks = static_cast<std::uint32_t>((kHeader + size + kChunk - 1) / kChunk);
    unsigned char* slab = NewSlab(chunks);
    HeaderOf(slab).slabLive.store(1, std::memory_order_relaxed);
    HeaderOf(slab).live.store(1, std::memory_order_relaxed);
    return slab + kHeader;
}

void* TNodeArena::AllocateSlow(std::size_t size) {
    if (size > kChunk - kHeader) return AllocateLarge(size);
    NextChunk();
    return Allocate(size);
}

void TNodeArena::Release(void* object, std::size_t size) noexcept {
    if (object == nullptr) return;
    VEMRA_ARENA_POISON(object, size);
    Unref(ChunkOf(object));
}

void TNodeArena::Releaser::Flush() noexcept {
    if (count_ != 0) Unref(chunk_, count_);
    count_ = 0;
}

}  // namespace vemra
