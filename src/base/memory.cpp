// Run memory: records are carved from large blocks and all given back at once when a run ends,
// so an item, term or symbol costs no allocation of its own and never moves.
#include "base/base.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
struct t_block {
    t_block* next;    // the block allocated before this one
    std::size_t size; // usable bytes after the header
};
} // namespace

static constexpr std::size_t block_bytes = std::size_t(1) << 20;

static t_block* blocks = nullptr; // newest first

// Regions carve from their own current block: records, plain bytes, so that small byte strings
// between records cost no padding, and items, so that the layout's walks over the item list touch
// nothing else.
t_region records_region{};
t_region bytes_region{};
t_region items_region{};

static void add_block(t_region& region, std::size_t at_least) {
    std::size_t size = at_least > block_bytes ? at_least : block_bytes;
    auto* block = static_cast<t_block*>(std::calloc(1, sizeof(t_block) + size));
    if (block == nullptr)
        throw std::bad_alloc();
    block->next = blocks;
    block->size = size;
    blocks = block;
    region.start = region.cursor = reinterpret_cast<char*>(block + 1);
    region.limit = region.cursor + size;
}

// Blocks come zeroed from calloc and are never reused within a run.
void* carve_new_block(t_region& region, std::size_t bytes) {
    add_block(region, bytes);
    char* result = region.cursor;
    region.cursor += bytes;
    return result;
}

std::string_view run_copy(std::string_view text) {
    if (text.empty())
        return {};
    auto* copy = static_cast<char*>(run_alloc_bytes(text.size()));
    std::memcpy(copy, text.data(), text.size());
    return {copy, text.size()};
}

void release_run_memory() {
    while (blocks != nullptr) {
        t_block* next = blocks->next;
        std::free(blocks);
        blocks = next;
    }
    records_region = bytes_region = items_region = t_region{};
}

// Memory set aside at the start of a run and given back when memory runs out, so that the report
// of that finds some.
static void* memory_reserve = nullptr;
static constexpr std::size_t memory_reserve_bytes = std::size_t(1) << 16;

void keep_memory_reserve() {
    if (memory_reserve == nullptr)
        memory_reserve = std::malloc(memory_reserve_bytes);
}

void release_memory_reserve() {
    std::free(memory_reserve);
    memory_reserve = nullptr;
}

// The blocks taken, less what the current blocks still have free.
std::size_t run_memory_used() {
    std::size_t used = 0;
    for (const t_block* block = blocks; block != nullptr; block = block->next)
        used += block->size;
    for (const t_region* region : {&records_region, &bytes_region, &items_region})
        used -= static_cast<std::size_t>(region->limit - region->cursor);
    return used;
}
