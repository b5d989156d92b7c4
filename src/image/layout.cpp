// Layout: addresses for every item and sizes for every deferred operand, relaxed over a bounded
// schedule of passes.
#include "driver/driver.h"
#include "image/image.h"
#include "lex/lex.h"
#include "symbols/symbols.h"

#include <system_error>
#include <thread>
#include <vector>

t_item end_of_image_item{};
int32_t end_of_image = 0;
bool sizes_fit = false;
int32_t layout_passes = 0;
int32_t passes_in_halves = 0;
int32_t t_item::*final_address_field = &t_item::final_address;

// The item halfway along the list, as the latest pass found it.
static t_item* middle_item = nullptr;
// Set by check_sizes: every deferred item holds its value for the final addresses.
static bool parameters_current = false;
std::size_t parallel_check_min_items = 200000;

const t_item* layout_middle_item() { return middle_item; }

// Relaxation passes allowed after the first pass, and after the restart from the longest form.
static constexpr int32_t relax_passes_first = 16;
static constexpr int32_t relax_passes_restart = 17;

// Addresses are signed 32-bit; an image may not reach beyond this one.
static constexpr int64_t max_address = 0x7FFFFFFF;

static bool fits_16(int32_t value) { return value >= -32768 && value <= 32767; }

// Where a pass stands: the next address and the end of the image so far.
struct t_place {
    int64_t address;
    int64_t image_end;
};

// The first pass made as the items arrive: each item is placed once the next one is appended
// (a directive completes its item just after appending it), and the last when the layout
// begins. A failure leaves the first pass to run_layout, which reports it in its turn.
static t_place first_place{};
static bool first_placing = true;
static std::size_t first_placed = 0;
static std::size_t first_placed_deferred = 0; // items of kinds 5 to 7 the first pass placed
static bool first_gaps = false;               // the first pass has placed an #org or an #align

// Every checkpoint_items-th item the first pass placed, with what the first relaxation pass needs
// to know to start there: the items before it that change their size in that pass are the
// deferred operands, and their sizes come from their values, unless an #org or an #align came
// first, whose gap depends on where it falls.
struct t_checkpoint {
    t_item* item;
    std::size_t variables_before; // variable items listed before this item
    int64_t fixed_growth_before;  // growth from 4 bytes of the operands before it that are not variable
    bool gaps_before;             // an #org or #align lies before it
};
static std::vector<t_checkpoint> first_checkpoints;
static constexpr std::size_t checkpoint_items = 4096;
static int64_t fixed_growth = 0; // the same, over every operand appended so far

// A deferred value changes from pass to pass only through the labels it names: a value of numbers
// and constants is worked out once, when its item is appended, if its constants are defined by
// then. The others are listed here, and a check after a relaxation pass needs to evaluate only
// them: every other size was chosen by that pass from a value that has not changed since.
static std::vector<t_item*> variable_items;
static std::size_t deferred_appended = 0; // items of kinds 5 to 7 appended through emit_deferred
std::size_t parallel_variable_min_items = 100000;
bool track_deferred_values = true;
// Set by a pass that evaluated nothing and so wrote each item's address into both fields.
static bool addresses_agree = false;

void reset_items() {
    head_item = t_item{};
    tail = &head_item;
    end_of_image_item = t_item{};
    end_of_image = 0;
    header_requested = false;
    sizes_fit = false;
    layout_passes = 0;
    final_address_field = &t_item::final_address;
    list_length = 1;
    middle_item = nullptr;
    parameters_current = false;
    first_place = t_place{};
    first_placing = true;
    first_placed = 0;
    first_checkpoints.clear();
    first_placed_deferred = 0;
    first_gaps = false;
    fixed_growth = 0;
    variable_items.clear();
    deferred_appended = 0;
    addresses_agree = false;
}

// The size a relaxation pass chooses for a deferred operand of kind (6 or 7) with value.
static int32_t operand_size(int32_t kind, int32_t value) {
    if (value == 0 && kind == kind_memory)
        return 2;
    return fits_16(value) ? 4 : 6;
}

// Kept apart so that the common path, which works the value out, stays a leaf.
[[gnu::noinline]] static void list_variable(t_item* item) { variable_items.push_back(item); }

void note_deferred(t_item* item) {
    ++deferred_appended;
    int32_t value = 0; // summed as eval_terms sums, while every term is a number or a defined constant
    for (const t_term* term = item->terms; term != nullptr; term = term->next) {
        if (term->kind == 1) {
            value = wrap_add(value, term->number);
        } else if (term->kind == 2 && term->symbol->item != nullptr) {
            value = wrap_add(value, wrap_mul(term->sign, term->symbol->value));
        } else {
            list_variable(item);
            return;
        }
    }
    item->parameter = value;
    if (item->kind != kind_value)
        fixed_growth += operand_size(item->kind, value) - 4;
}

static constexpr const char* too_large = "Image too large";
static constexpr const char* org_unmet = "Could not satisfy #org statement";

// Moves the place past an item of size bytes; false beyond the signed range of addresses.
static bool advance(int64_t& address, int64_t size) {
    address += size;
    return address <= max_address;
}

// Gives item its address (in the field written) and, for kinds 6 to 9, its size, and moves the
// place past it. Returns the report when the item cannot be placed, else nil.
static const char* place_item(t_item* item, t_place& place, bool first, bool all_long,
                              int32_t t_item::*written, bool both) {
    if (both)
        item->address = item->final_address = static_cast<int32_t>(place.address);
    else
        item->*written = static_cast<int32_t>(place.address);
    switch (item->kind) {
    case kind_bytes:
    case kind_zero:
    case kind_value:
        if (!advance(place.address, item->size))
            return too_large;
        place.image_end = place.address;
        break;
    case kind_reserve:
        if (!advance(place.address, item->size))
            return too_large;
        break;
    case kind_operand:
    case kind_memory:
        if (all_long) {
            item->size = 6;
        } else if (first) {
            item->size = 4;
        } else {
            if (!parameters_current)
                item->parameter = eval_terms(item->terms);
            item->size = operand_size(item->kind, item->parameter);
        }
        if (!advance(place.address, item->size))
            return too_large;
        place.image_end = place.address;
        break;
    case kind_org:
        if (place.address > item->parameter)
            return org_unmet;
        item->size = static_cast<int32_t>(item->parameter - place.address);
        place.address = item->parameter;
        break;
    case kind_align: {
        int64_t n = item->parameter;
        int64_t aligned = (place.address + n - 1) / n * n;
        if (aligned > max_address)
            return too_large;
        item->size = static_cast<int32_t>(aligned - place.address);
        place.address = aligned;
        break;
    }
    default:
        break; // the head item and labels occupy nothing
    }
    return nullptr;
}

// Kept apart so that placing an item stays a leaf. The item's own value is already noted.
[[gnu::noinline]] static void add_checkpoint(t_item* item) {
    const bool deferred = item->kind == kind_value || item->kind == kind_operand || item->kind == kind_memory;
    const bool variable = deferred && !variable_items.empty() && variable_items.back() == item;
    int64_t growth = fixed_growth;
    if (deferred && !variable && item->kind != kind_value)
        growth -= operand_size(item->kind, item->parameter) - 4;
    first_checkpoints.push_back({item, variable_items.size() - (variable ? 1 : 0), growth, first_gaps});
}

// The first pass, one item at a time (see first_placing).
void place_in_first_pass(t_item* item) {
    if (!first_placing)
        return;
    if (first_placed % checkpoint_items == 0)
        add_checkpoint(item);
    ++first_placed;
    if (item->kind == kind_value || item->kind == kind_operand || item->kind == kind_memory)
        ++first_placed_deferred;
    else if (item->kind == kind_org || item->kind == kind_align)
        first_gaps = true;
    if (place_item(item, first_place, true, false, &t_item::address, false) != nullptr)
        first_placing = false;
}

// The end of every pass: the end of the image, and the field that now holds the final addresses.
static void finish_pass(int64_t image_end, int32_t t_item::*written) {
    end_of_image = static_cast<int32_t>(image_end);
    end_of_image_item.address = end_of_image;
    end_of_image_item.final_address = end_of_image;
    final_address_field = written;
    parameters_current = false;
}

// A pass that evaluates writes its addresses into the field that does not hold the final
// addresses, which its evaluations read; the two fields then trade roles, so no walk copies one
// into the other. A pass that evaluates nothing writes both.
void layout_pass(bool first, bool all_long) {
    ++layout_passes;
    std::size_t count = 0;
    int32_t t_item::*const written =
        final_address_field == &t_item::final_address ? &t_item::address : &t_item::final_address;
    const bool both = first || all_long || parameters_current;
    t_place place{};
    for (t_item* item = &head_item; item != nullptr; item = item->next) {
        if (count++ == list_length / 2)
            middle_item = item;
        if (const char* fault = place_item(item, place, first, all_long, written, both); fault != nullptr)
            fatal_stop(fault);
    }
    finish_pass(place.image_end, written);
    addresses_agree = both;
}


// Evaluates the deferred items from first up to (not including) last against the final
// addresses; true when every size fits its value. Each item's other address field is set to its
// final address on the way, so that after the last check both fields agree.
static bool check_range(t_item* first, const t_item* last) {
    int32_t t_item::*const final_field = final_address_field;
    int32_t t_item::*const other_field =
        final_field == &t_item::final_address ? &t_item::address : &t_item::final_address;
    bool fit = true;
    for (t_item* item = first; item != last; item = item->next) {
        item->*other_field = item->*final_field;
        if (item->kind == kind_value) {
            item->parameter = eval_terms(item->terms);
        } else if (item->kind == kind_operand || item->kind == kind_memory) {
            item->parameter = eval_terms(item->terms);
            if ((item->parameter != 0 && item->size == 2) || (!fits_16(item->parameter) && item->size < 6))
                fit = false;
        }
    }
    return fit;
}

// Every value is evaluated even after a size that does not fit: the next pass then takes its
// values from here instead of evaluating them again, and the values are the same either way, as
// both read the addresses of the same pass. On a long list the second half is evaluated on a
// second thread; the halves write disjoint items and only read addresses.
void check_sizes() {
    bool second_fit = true;
    std::thread second_half;
    const t_item* split = nullptr;
    if (list_length >= parallel_check_min_items && middle_item != nullptr) {
        try {
            second_half = std::thread([&second_fit] { second_fit = check_range(middle_item, nullptr); });
            split = middle_item;
        } catch (const std::system_error&) {
        } // without a second thread the whole list is checked here
    }
    const bool first_fit = check_range(&head_item, split);
    if (second_half.joinable())
        second_half.join();
    sizes_fit = first_fit && second_fit;
    parameters_current = true;
}

// What a check of variable items found: whether every size fits, and how many bytes the next
// relaxation pass adds to their operands over 4 bytes each.
struct t_variable_check {
    bool fit;
    int64_t growth;
};

// Evaluates the variable items from first up to (not including) last.
static t_variable_check check_variable_range(t_item* const* first, t_item* const* last) {
    t_variable_check found{true, 0};
    // Each value is reached through a chain of records far apart (item, terms, symbols, label
    // items): the chains of the next items are fetched one link a few items ahead.
    constexpr std::ptrdiff_t ahead = 4;
    for (t_item* const* at = first; at != last; ++at) {
        if (last - at > 4 * ahead) {
            __builtin_prefetch(at[4 * ahead]);
            __builtin_prefetch(at[3 * ahead]->terms);
            for (const t_term* term = at[2 * ahead]->terms; term != nullptr; term = term->next)
                __builtin_prefetch(term->symbol);
            for (const t_term* term = at[ahead]->terms; term != nullptr; term = term->next)
                if (term->kind == 3)
                    __builtin_prefetch(term->symbol->item);
        }
        t_item* item = *at;
        item->parameter = eval_terms(item->terms);
        if (item->kind == kind_value)
            continue;
        if ((item->parameter != 0 && item->size == 2) || (!fits_16(item->parameter) && item->size < 6))
            found.fit = false;
        found.growth += operand_size(item->kind, item->parameter) - 4;
    }
    return found;
}

// check_sizes for a list whose other deferred values are already current, their sizes chosen
// from them. The variable items are evaluated in two parts, split before the split-th; the parts
// of a long list at once, on two threads. Returns the growth of the first part.
static int64_t check_variable_items(std::size_t split) {
    t_item* const* begin = variable_items.data();
    t_item* const* end = begin + variable_items.size();
    t_item* const* middle = begin + split;
    t_variable_check second{true, 0};
    std::thread second_part;
    if (variable_items.size() >= parallel_variable_min_items) {
        try {
            second_part = std::thread([&second, middle, end] { second = check_variable_range(middle, end); });
        } catch (const std::system_error&) {
        } // without a second thread both parts are checked here
    }
    const t_variable_check first = check_variable_range(begin, middle);
    if (second_part.joinable())
        second_part.join();
    else
        second = check_variable_range(middle, end);
    sizes_fit = first.fit && second.fit;
    parameters_current = true;
    return first.growth;
}

// Every deferred item came through emit_deferred and was placed by the first pass made as the
// items arrived: the values worked out on appending, and the list of the others, are complete.
static bool values_tracked = false;

// The check after a relaxation pass. The variable items suffice when the pass wrote both
// address fields; after a pass that evaluated, the full check also makes the fields agree.
static void check_after_pass() {
    if (values_tracked && addresses_agree)
        check_variable_items(variable_items.size() / 2);
    else
        check_sizes();
}

// Places the items from first up to (not including) last from place on, writing both address
// fields; returns the report of the first item that cannot be placed, else nil.
static const char* place_range(t_item* first, const t_item* last, t_place& place) {
    for (t_item* item = first; item != last; item = item->next)
        if (const char* fault = place_item(item, place, false, false, &t_item::final_address, true); fault != nullptr)
            return fault;
    return nullptr;
}

// The first relaxation pass after the first pass, in two halves at once: the second half starts
// at split, whose address is its first-pass address plus the growth of the operands before it.
// The first half must end exactly there; if it did not, the pass is made again in one walk.
static void relax_in_halves(const t_checkpoint& split, int64_t variable_growth) {
    ++layout_passes; // counted before it can fail, as a pass in one walk is
    t_place second{static_cast<int64_t>(split.item->address) + split.fixed_growth_before + variable_growth, -1};
    const int64_t second_start = second.address;
    const char* second_fault = nullptr;
    std::thread second_half;
    try {
        second_half = std::thread([&second, &second_fault, &split] {
            second_fault = place_range(split.item, nullptr, second);
        });
    } catch (const std::system_error&) {
        --layout_passes;
        layout_pass(false, false); // without a second thread, the pass in one walk
        return;
    }
    t_place first{};
    const char* first_fault = place_range(&head_item, split.item, first);
    second_half.join();
    if (first_fault != nullptr)
        fatal_stop(first_fault);
    if (first.address != second_start) {
        --layout_passes;
        layout_pass(false, false);
        return;
    }
    ++passes_in_halves;
    if (second_fault != nullptr)
        fatal_stop(second_fault);
    middle_item = split.item;
    finish_pass(second.image_end >= 0 ? second.image_end : first.image_end, &t_item::final_address);
    addresses_agree = true;
}

// Relaxation passes, each followed by a check, until the sizes fit or limit passes are made.
// At least one is made: only a relaxation pass gives a zero displacement its short form.
static void relax(int32_t limit) {
    for (int32_t pass = 0; pass < limit; ++pass) {
        layout_pass(false, false);
        check_after_pass();
        if (sizes_fit)
            return;
    }
}

void run_layout() {
    layout_passes = 0;
    passes_in_halves = 0;
    place_in_first_pass(tail);
    values_tracked = false;
    if (first_placing && first_placed == list_length) {
        ++layout_passes;
        finish_pass(first_place.image_end, &t_item::address);
        middle_item = first_checkpoints[list_length / 2 / checkpoint_items].item;
        values_tracked = track_deferred_values && first_placed_deferred == deferred_appended;
    } else {
        final_address_field = &t_item::final_address;
        layout_pass(true, false);
    }
    // A relaxation pass always follows, writing both address fields: the first check need not
    // make them agree, so the variable items suffice here whatever the first pass wrote. On a
    // long list without an #org or #align before its middle, that pass is made in two halves.
    if (values_tracked) {
        const t_checkpoint& split = first_checkpoints[list_length / 2 / checkpoint_items];
        const int64_t growth = check_variable_items(split.variables_before);
        if (list_length >= parallel_check_min_items && !split.gaps_before && split.item != &head_item) {
            relax_in_halves(split, growth);
            check_after_pass();
            if (!sizes_fit)
                relax(relax_passes_first - 1);
        } else {
            relax(relax_passes_first);
        }
    } else {
        check_sizes();
        relax(relax_passes_first);
    }
    if (!sizes_fit) {
        layout_pass(false, true);
        relax(relax_passes_restart);
    }
    if (!sizes_fit) {
        layout_pass(false, true);
        check_after_pass();
    }
    // The last check has made both address fields agree.
    final_address_field = &t_item::final_address;
}
