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

// Regions carve from their own current block: records (8-byte aligned), plain bytes, so that
// small byte strings between records cost no padding, and items, so that the layout's walks
// over the item list touch nothing else.
struct t_region {
    char* cursor; // next free byte of the region's current block
    char* limit;  // end of that block
};
static t_region records{};
static t_region bytes_region{};
static t_region items_region{};
static std::size_t used_bytes = 0;

void (*on_new_block)(char* start, std::size_t bytes) = nullptr;

static void add_block(t_region& region, std::size_t at_least) {
    std::size_t size = at_least > block_bytes ? at_least : block_bytes;
    auto* block = static_cast<t_block*>(std::calloc(1, sizeof(t_block) + size));
    if (block == nullptr)
        throw std::bad_alloc();
    block->next = blocks;
    block->size = size;
    blocks = block;
    region.cursor = reinterpret_cast<char*>(block + 1);
    region.limit = region.cursor + size;
    if (on_new_block != nullptr)
        on_new_block(region.cursor, size);
}

static void* carve(t_region& region, std::size_t bytes) {
    if (static_cast<std::size_t>(region.limit - region.cursor) < bytes)
        add_block(region, bytes);
    char* result = region.cursor;
    region.cursor += bytes;
    used_bytes += bytes;
    return result; // blocks come zeroed from calloc and are never reused within a run
}

void* run_alloc(std::size_t bytes) { return carve(records, (bytes + 7) & ~std::size_t(7)); }

void* run_alloc_bytes(std::size_t bytes) { return carve(bytes_region, bytes); }

void* run_alloc_item(std::size_t bytes) { return carve(items_region, (bytes + 3) & ~std::size_t(3)); }

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
    records = bytes_region = items_region = t_region{};
    used_bytes = 0;
}

std::size_t run_memory_used() { return used_bytes; }
