#pragma once
// TNodeArena: the memory of tree nodes, bump-allocated in 64 KB chunks. Each chunk counts
// its live nodes and goes back to the heap when the last of them is deleted, so every node
// is still deleted one by one and may outlive the arena that made it. The parser gives each
// parse an arena of its own; other nodes come from the calling thread's arena.

#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define VEMRA_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEMRA_ARENA_ASAN 1
#endif
#endif

// Under AddressSanitizer a node's memory is poisoned while no node lives in it, so that a
// use after delete is caught although the chunk stays mapped.
#ifdef VEMRA_ARENA_ASAN
#include <sanitizer/asan_interface.h>
#define VEMRA_ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define VEMRA_ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define VEMRA_ARENA_POISON(p, n) ((void)(p), (void)(n))
#define VEMRA_ARENA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace vemra {

class TNodeArena {
public:
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 16;

    TNodeArena() = default;
    ~TNodeArena();
    TNodeArena(const TNodeArena&) = delete;
    TNodeArena& operator=(const TNodeArena&) = delete;

    static TNodeArena& ForThisThread();

    // 8-byte aligned memory for one node; the chunk counts it as live until Release.
    void* Allocate(std::size_t size) {
        size = (size + 7) & ~std::size_t{7};
        if (chunk_ == nullptr || used_ + size > kChunkBytes) return AllocateSlow(size);
        void* slot = chunk_ + used_;
        used_ += size;
        ++pendingLive_;
        VEMRA_ARENA_UNPOISON(slot, size);
        return slot;
    }
    // The node at object (size bytes) is gone.
    static void Release(void* object, std::size_t size) noexcept;

    // Releases the nodes of a subtree being freed, with one count update for each run of
    // nodes from the same chunk.
    class Releaser {
    public:
        Releaser() = default;
        ~Releaser() { Flush(); }
        Releaser(const Releaser&) = delete;
        Releaser& operator=(const Releaser&) = delete;
        void Add(void* object, std::size_t size) noexcept {
            VEMRA_ARENA_POISON(object, size);
            auto* chunk = reinterpret_cast<unsigned char*>(reinterpret_cast<std::uintptr_t>(object) & ~(kChunkBytes - 1));
            if (chunk != chunk_) {
                Flush();
                chunk_ = chunk;
            }
            ++count_;
        }
        void Flush() noexcept;

    private:
        unsigned char* chunk_ = nullptr;
        unsigned count_ = 0;
    };

    template <class T, class... Args>
    T* New(Args&&... args) {
        return new (*this) T(std::forward<Args>(args)...);
    }

private:
    void* AllocateSlow(std::size_t size);
    void DropChunk() noexcept;
    void NextChunk();
    static void* AllocateLarge(std::size_t size);

    unsigned char* slab_ = nullptr;
    std::uint32_t slabChunks_ = 0;
    std::uint32_t nextChunk_ = 0;
    unsigned char* chunk_ = nullptr;
    std::size_t used_ = 0;
    std::uint32_t pendingLive_ = 0;  // allocations not yet added to the chunk's live count
};

}  // namespace vemra
