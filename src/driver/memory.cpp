// Run memory: records are carved from large blocks and all given back at once when a run ends,
// so an item, term or symbol costs no allocation of its own and never moves.
#include "driver/driver.h"

#include <cstdlib>
#include <cstring>
#include <new>

struct t_block {
    t_block* next;    // the block allocated before this one
    std::size_t size; // usable bytes after the header
};

static constexpr std::size_t block_bytes = std::size_t(1) << 20;

static t_block* blocks = nullptr; // newest first
static char* cursor = nullptr;    // next free byte of the newest block
static char* limit = nullptr;     // end of the newest block
static std::size_t used_bytes = 0;

static void add_block(std::size_t at_least) {
    std::size_t size = at_least > block_bytes ? at_least : block_bytes;
    auto* block = static_cast<t_block*>(std::calloc(1, sizeof(t_block) + size));
    if (block == nullptr)
        throw std::bad_alloc();
    block->next = blocks;
    block->size = size;
    blocks = block;
    cursor = reinterpret_cast<char*>(block + 1);
    limit = cursor + size;
}

void* run_alloc(std::size_t bytes) {
    bytes = (bytes + 7) & ~std::size_t(7);
    if (static_cast<std::size_t>(limit - cursor) < bytes)
        add_block(bytes);
    char* result = cursor;
    cursor += bytes;
    used_bytes += bytes;
    return result; // blocks come zeroed from calloc and are never reused within a run
}

std::string_view run_copy(std::string_view text) {
    if (text.empty())
        return {};
    auto* copy = static_cast<char*>(run_alloc(text.size()));
    std::memcpy(copy, text.data(), text.size());
    return {copy, text.size()};
}

void release_run_memory() {
    while (blocks != nullptr) {
        t_block* next = blocks->next;
        std::free(blocks);
        blocks = next;
    }
    cursor = limit = nullptr;
    used_bytes = 0;
}

std::size_t run_memory_used() { return used_bytes; }
