#pragma once
// TNodeArena: the memory of tree nodes, bump-allocated in 64 KB chunks. Each chunk counts
// its live nodes and goes back to the heap when the last of them is deleted, so every node
// is still deleted one by one and may outlive the arena that made it. The parser gives each
// parse an arena of its own; other nodes come from the calling thread's arena.

#include <cstddef>
#include <cstdint>
#include <utility>

namespace vemra {

class TNodeArena {
public:
    TNodeArena() = default;
    ~TNodeArena();
    TNodeArena(const TNodeArena&) = delete;
    TNodeArena& operator=(const TNodeArena&) = delete;

    static TNodeArena& ForThisThread();

    // 8-byte aligned memory for one node; the chunk counts it as live until Release.
    void* Allocate(std::size_t size);
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
        void Add(void* object, std::size_t size) noexcept;
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
    void DropChunk() noexcept;
    void NextChunk();
    static void* AllocateLarge(std::size_t size);

    unsigned char* slab_ = nullptr;
    std::uint32_t slabChunks_ = 0;
    std::uint32_t nextChunk_ = 0;
    unsigned char* chunk_ = nullptr;
    std::size_t used_ = 0;
};

}  // namespace vemra
