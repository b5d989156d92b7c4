// orbasm_passes: assembles a source in-process without echo and without writing the image, and
// prints what the layout did: the passes it made, the items and deferred operands it laid out (and
// how many jumps and calls took a 32-bit operand), and the run memory the assembly used.
#include "driver/driver.h"
#include "image/image.h"

#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: orbasm_passes FILE\n", stderr);
        return 2;
    }
    echo_enabled = false;
    if (!run_assembly(argv[1], false))
        return 1;
    std::int64_t items = 0;
    std::int64_t operands = 0;      // kinds 6 and 7: sizes chosen by the layout
    std::int64_t long_operands = 0; // of those, the ones laid out with a 32-bit operand
    std::int64_t dropped = 0;       // kind 7 whose zero displacement or value is not written
    std::int64_t jumps = 0;         // jmp, jr, call, calr to an expression: words B8xx to BBxx
    std::int64_t long_jumps = 0;    // of those, the ones laid out with a 32-bit operand
    for (const t_item* item = head_item.next; item != nullptr; item = item->next) {
        ++items;
        if (item->kind == kind_operand || item->kind == kind_memory) {
            ++operands;
            long_operands += item->size == 6;
            dropped += item->size == 2;
            if (item->kind == kind_operand && item->data[1] >= 0xB8 && item->data[1] <= 0xBB) {
                ++jumps;
                long_jumps += item->size == 6;
            }
        }
    }
    std::printf("layout_passes %d\n", static_cast<int>(layout_passes));
    std::printf("items %lld\n", static_cast<long long>(items));
    std::printf("deferred_operands %lld\n", static_cast<long long>(operands));
    std::printf("long_operands %lld\n", static_cast<long long>(long_operands));
    std::printf("dropped_operands %lld\n", static_cast<long long>(dropped));
    std::printf("jump_operands %lld\n", static_cast<long long>(jumps));
    std::printf("long_jump_operands %lld\n", static_cast<long long>(long_jumps));
    std::printf("end_of_image %d\n", static_cast<int>(end_of_image));
    std::printf("run_memory_bytes %zu\n", run_memory_used());
    return 0;
}
