// Layout: addresses for every item and sizes for every deferred operand, relaxed over a bounded
// schedule of passes until every size holds its value.
#include "base/base.h"
#include "base/words.h"
#include "image/image.h"
#include "lex/lex.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

t_item end_of_image_item{};
int32_t end_of_image = 0;
bool header_requested = false;
static bool sizes_fit = false; // verdict of the latest check_sizes
static bool strict_layout = true;
int32_t layout_passes = 0;

// Relaxation passes allowed after the first pass, and after the restart from the longest form.
static constexpr int32_t relax_passes_first = 16;
static constexpr int32_t relax_passes_restart = 17;

// Addresses are signed 32-bit; an image may not reach beyond this one.
static constexpr int64_t max_address = 0x7FFFFFFF;

// A deferred value changes from pass to pass only through the labels it names: a value of numbers
// and constants is worked out once, when its item is appended (its constants are defined by then,
// or never). The items whose values name a label, or a constant defined later, are listed here,
// and they are all that a check evaluates.
static std::vector<t_item*> label_items;
// The lines of the #org items, for reports that point at the source.
static std::vector<std::pair<const t_item*, t_place>> org_places;

void reset_items() {
    head_item = t_item{};
    tail = &head_item;
    end_of_image_item = t_item{};
    end_of_image = 0;
    header_requested = false;
    sizes_fit = false;
    layout_passes = 0;
    label_items.clear();
    org_places.clear();
}

// The size a relaxation pass chooses for a deferred operand (kind_operand or kind_memory) with value.
static int32_t operand_size(int32_t kind, int32_t value) {
    if (value == 0 && kind == kind_memory)
        return 2;
    return fits_16(value) ? 4 : 6;
}

int32_t eval_terms(const t_term* first) {
    int32_t sum = 0;
    for (const t_term* term = first; term != nullptr; term = term->next) {
        if (term->kind == term_number)
            sum = wrap_add(sum, term->number);
        else if (term->kind == term_constant)
            sum = wrap_add(sum, wrap_mul(term->sign, term->symbol->value));
        else if (term->symbol->item != nullptr)
            sum = wrap_add(sum, wrap_mul(term->sign, term->symbol->item->final_address));
    }
    return sum;
}

void note_deferred(t_item* item) {
    for (const t_term* term = item->terms; term != nullptr; term = term->next)
        if (term->kind == term_label || (term->kind == term_constant && term->symbol->item == nullptr))
            return label_items.push_back(item);
    item->parameter = eval_terms(item->terms);
}

void note_org(const t_item* item) {
    if (!classic_report)
        org_places.emplace_back(item, current_place());
}

// An address as the source writes it: hexadecimal with the suffix "h", led by a digit.
static std::string hex_address(int64_t address) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "h";
    for (auto value = static_cast<uint32_t>(address); value != 0 || text.size() == 1; value /= 16)
        text.insert(text.begin(), digits[value % 16]);
    return text[0] > '9' ? "0" + text : text;
}

// Points a report at the line of the #org item, and says how far the items before it reach.
static void point_at_org(const t_item* item, int64_t address) {
    for (const auto& [org, place] : org_places)
        if (org == item)
            fault_place = &place;
    if (!classic_report)
        fault_notes = {{"the items before it reach " + hex_address(address) + ", beyond the " +
                            hex_address(item->parameter) + " it asks for",
                        {}}};
}

// One walk that assigns addresses and sizes: 4-byte operands in the first pass, 6-byte ones when
// all_long, else the sizes their values need. Not strict, it raises no error.
template <bool strict> static void layout_pass_as(bool first, bool all_long) {
    ++layout_passes;
    int64_t address = 0;
    int64_t image_end = 0;
    for (t_item* item = &head_item; item != nullptr; item = item->next) {
        item->final_address = static_cast<int32_t>(address);
        switch (item->kind) {
        case kind_operand:
        case kind_memory:
            item->size = all_long ? 6 : first ? 4 : operand_size(item->kind, item->parameter);
            [[fallthrough]];
        case kind_bytes:
        case kind_zero:
        case kind_value:
            address += item->size;
            image_end = address;
            break;
        case kind_reserve:
            address += item->size;
            break;
        case kind_org:
            if (address > item->parameter && strict)
                point_at_org(item, address);
            fatal_check(address <= item->parameter || !strict, "Could not satisfy #org statement");
            item->size = static_cast<int32_t>(std::max<int64_t>(item->parameter - address, 0));
            address = std::max<int64_t>(address, item->parameter);
            break;
        case kind_align:
            item->size = static_cast<int32_t>((address + item->parameter - 1) / item->parameter * item->parameter - address);
            address += item->size;
            break;
        default:
            break; // the head item and labels occupy nothing
        }
        fatal_check(address <= max_address || !strict, "Image too large");
    }
    end_of_image = static_cast<int32_t>(image_end);
    end_of_image_item.final_address = end_of_image;
}

static void layout_pass(bool first, bool all_long) {
    if (strict_layout)
        layout_pass_as<true>(first, all_long);
    else
        layout_pass_as<false>(first, all_long);
}

// Evaluates every deferred value against the latest addresses; sizes_fit tells whether each size
// holds its value. Every value is evaluated, even after a size that does not: the next pass sizes
// the operands from these values.
static void check_sizes() {
    sizes_fit = true;
    for (t_item* item : label_items) {
        item->parameter = eval_terms(item->terms);
        if (item->kind != kind_value &&
            ((item->parameter != 0 && item->size == 2) || (!fits_16(item->parameter) && item->size < 6)))
            sizes_fit = false;
    }
}

// Relaxation passes, each followed by a check, until the sizes fit or limit passes are made.
// At least one is made: only a relaxation pass gives a zero displacement its short form.
static void relax(int32_t limit) {
    for (int32_t pass = 0; pass < limit; ++pass) {
        layout_pass(false, false);
        check_sizes();
        if (sizes_fit)
            return;
    }
}

// A value worked out on appending fits its operand in every pass that sizes it from its value, and
// in the longest form: only the listed values can make a size fail.
void take_back_items(t_item* before) {
    std::vector<const t_item*> taken;
    for (const t_item* item = before->next; item != nullptr; item = item->next)
        taken.push_back(item);
    const auto is_taken = [&](const t_item* item) { return std::find(taken.begin(), taken.end(), item) != taken.end(); };
    // They were noted as they were appended: their notes are the last ones.
    while (!label_items.empty() && is_taken(label_items.back()))
        label_items.pop_back();
    while (!org_places.empty() && is_taken(org_places.back().first))
        org_places.pop_back();
    before->next = nullptr;
    tail = before;
}

void run_layout(bool strict) {
    strict_layout = strict;
    layout_passes = 0;
    layout_pass(true, false);
    check_sizes();
    relax(relax_passes_first);
    if (!sizes_fit) {
        layout_pass(false, true);
        check_sizes();
        relax(relax_passes_restart);
    }
    if (!sizes_fit) {
        layout_pass(false, true);
        check_sizes();
    }
}
