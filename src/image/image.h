// Items, layout and image: the item list every line appends to, directives and labels, the
// address layout with size relaxation, and the image writer.
#pragma once
#include "base/output_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct t_term;
struct t_companion_file;

// Item kinds. ORDER: the numbers are part of the design; 4 is not a kind.
enum : int32_t {
    kind_head = 0,     // the head item; writes nothing
    kind_bytes = 1,    // literal bytes held in data
    kind_reserve = 2,  // #data: occupies addresses, does not extend the image
    kind_zero = 3,     // #zero: zero bytes inside the image
    kind_value = 5,    // a deferred 32-bit value
    kind_operand = 6,  // a word whose 2- or 4-byte operand is always written
    kind_memory = 7,   // a word whose operand (a displacement) is dropped when it is 0
    kind_org = 8,      // the gap up to an #org target
    kind_align = 9,    // the gap up to an #align boundary
    kind_label = 10,   // a label position; occupies nothing
};

// Items are the most numerous records and every layout pass walks all of them: packed to 4-byte
// alignment, an item wastes nothing on padding between its 32-bit fields and its pointers.
#pragma pack(push, 4)
struct t_item {
    int32_t kind;          // one of the kinds above
    t_item* next;          // the following item; nil at the tail
    int32_t size;          // bytes occupied (chosen by the layout for operand, memory, org and align items)
    int32_t final_address; // the address the latest layout pass gave it; label terms read it
    uint8_t* data;         // bytes, operand, memory: the item's bytes (for operand and memory the word, low byte first)
    int32_t parameter;     // org: the target; align: the alignment; value, operand, memory: the evaluated terms
    t_term* terms;         // value, operand, memory: the deferred expression
};
#pragma pack(pop)
// Four 32-bit fields and three pointers: 40 bytes with 64-bit pointers, 28 in WebAssembly.
static_assert(sizeof(t_item) == 4 * 4 + 3 * sizeof(void*) && alignof(t_item) == 4);

extern t_item head_item;          // always the first item of the list
extern t_item* tail;              // the last item of the list
extern t_item end_of_image_item;  // never in the list; owns "@endofexe"
extern int32_t end_of_image;      // the address just past the last byte the image holds
extern bool header_requested;     // set by #header
extern int32_t layout_passes;     // passes made by the latest run_layout

// Empties the list and the layout state for a new run.
void reset_items();

// Appends an item of kind holding a copy of size bytes.
void emit_item(int32_t kind, int32_t size, const void* bytes);
// Appends a deferred item (kind_value, kind_operand or kind_memory) with its terms; the last two carry word.
void emit_deferred(int32_t kind, t_term* terms, uint16_t word = 0);
// Appends the memory operand at pos (after "[" and the base register) and consumes its "]".
void emit_mem_operand(std::string_view text, uint16_t word, int32_t& pos);

// Notes a deferred item just appended with its terms: its value is worked out now when it names
// no label and only defined constants, else it is evaluated at every check.
void note_deferred(t_item* item);
// Notes the #org item just appended, so that an #org that cannot be met is reported at its line.
void note_org(const t_item* item);
// The wrapping sum of the terms, labels at the addresses of the latest layout pass; nil yields 0.
int32_t eval_terms(const t_term* first);
// The bounded schedule of layout passes. Not strict after errors, for a model of what assembled:
// an #org that cannot be met and an image too large raise no error.
void run_layout(bool strict = true);
// Takes back the items appended after before, and what the layout noted of them.
void take_back_items(t_item* before);

// The image; "" for source_name + ".orb", "-" for standard output.
extern std::string image_name;
// Writes the laid-out image to image_name (or the source name with ".orb" appended), and the
// companions beside it: all of them take their names together, or none does.
void write_image(const std::vector<t_companion_file>& companions);

// The most bytes item_bytes renders: a word and a 32-bit operand.
constexpr int32_t item_bytes_max = 6;
// Renders a laid-out deferred item (value, operand or memory) as the writer emits it: the 32-bit value, or
// the word with its size code set by the chosen size and then 0, 2 or 4 operand bytes. Returns
// the count of bytes; 0 for every other kind. Shared by the writer and the listing.
int32_t item_bytes(const t_item* item, uint8_t out[item_bytes_max]);
// The bytes the laid-out items from first to last write, appended to bytes, as a listing shows
// them; a fill (kind_zero, kind_reserve, or the gap of kind_org or kind_align) is not written out
// but returned: the last one with a size, or an item of size 0.
t_item range_bytes(const t_item* first, const t_item* last, std::vector<uint8_t>& bytes);
