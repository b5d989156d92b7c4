// The item list and the operations that append to it.
#include "base/base.h"
#include "image/image.h"
#include "lex/lex.h"

#include <cstring>

t_item head_item{};
t_item* tail = &head_item;

void emit_item(int32_t kind, int32_t size, const void* bytes) {
    auto* item = static_cast<t_item*>(run_alloc_item(sizeof(t_item)));
    tail->next = item;
    tail = item;
    item->kind = kind;
    item->size = size;
    if (size > 0) {
        item->data = static_cast<uint8_t*>(run_alloc_bytes(static_cast<std::size_t>(size)));
        std::memcpy(item->data, bytes, static_cast<std::size_t>(size));
    }
}

void emit_deferred(int32_t kind, t_term* terms, uint16_t word) {
    if (kind == kind_value) {
        emit_item(kind_value, 0, nullptr);
        tail->size = 4;
    } else {
        const uint8_t bytes[2] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
        emit_item(kind, 2, bytes);
        tail->size = 6; // the longest form until the layout chooses
    }
    tail->terms = terms;
    note_deferred(tail);
}

void emit_mem_operand(std::string_view text, uint16_t word, int32_t& pos) {
    if (expect_char(text, ']', pos)) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
        emit_item(kind_bytes, 2, bytes);
        return;
    }
    fatal_check(pos <= static_cast<int32_t>(text.size()), "] expected"); // not a displacement left out
    word = static_cast<uint16_t>(word + 0x4000); // a displacement follows: size code 01 becomes 10
    emit_deferred(kind_memory, parse_terms(text, pos), word);
    fatal_check(expect_char(text, ']', pos), "] expected");
}
