// Labels: names for the targets of jumps, calls and data words, and the own labels that keep
// relative operands exact.
//
// A label changes an operand's value with the layout, and orbasm's first layout pass gives every
// deferred operand 4 bytes before later passes choose 2, 4 or 6 by value. When in that first
// pass every labelled operand already gets the size it has in the image, the second pass lays
// everything out exactly as the image (values without labels are constants, and own labels stand
// at their instruction's address in every pass), and the layout ends there. So a label is
// written only where the first-pass value asks for the image's size; elsewhere a number, or for a
// relative operand its own label plus the offset, whose value no layout can change.
#include "base/words.h"
#include "disasm/units.h"

#include <algorithm>
#include <map>

static std::string generated_name(int64_t address) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (auto value = static_cast<uint32_t>(address); value != 0 || hex.size() < 4; value >>= 4)
        hex.insert(hex.begin(), digits[value & 15]);
    return cat({"@L", hex});
}

namespace {
// Addresses where a label can stand, and where each one lies in the first layout pass.
struct t_positions {
    std::vector<int32_t> starts;        // unit addresses that a label line can precede
    std::vector<int64_t> first_pass;    // the first-pass address of each of those units
    int64_t image_size;                 // the end of the image
    int64_t end_first_pass;             // the first-pass address of the end and of what follows
    std::map<int64_t, int32_t> header;  // addresses of the header's labels: the first name there
};
} // namespace

static bool is_unit_start(const t_positions& at, int64_t address) {
    return std::binary_search(at.starts.begin(), at.starts.end(), address);
}

// A target that a label may name: a unit start, the end of the image, a header label.
static bool can_label(const t_positions& at, int64_t address) {
    return address == at.image_size || is_unit_start(at, address) || at.header.count(address) != 0;
}

static int64_t first_pass_address(const t_positions& at, int64_t address) {
    if (address >= at.image_size)
        return address - at.image_size + at.end_first_pass;
    auto found = std::lower_bound(at.starts.begin(), at.starts.end(), address);
    return at.first_pass[static_cast<std::size_t>(found - at.starts.begin())];
}

static std::string name_at(const t_positions& at, int64_t address) {
    auto found = at.header.find(address);
    return found != at.header.end() ? header_label_names[found->second] : generated_name(address);
}

// The signed offset after a label: "" for 0, else "+n" or "-n".
static std::string offset_text(int32_t value) {
    if (value == 0)
        return "";
    return value > 0 ? cat({"+", number_text(value)}) : number_text(value);
}

static t_positions positions(const std::vector<t_unit>& units, const t_header& header, int64_t image_size) {
    t_positions at{};
    at.image_size = image_size;
    int64_t shift = 0; // first-pass address minus image address
    for (const t_unit& unit : units) {
        // The words that "#header" writes leave no room for a label between them.
        if (unit.kind != unit_header_word || !header.rebuilt) {
            at.starts.push_back(unit.address);
            at.first_pass.push_back(unit.address + shift);
        }
        if (unit.deferred)
            shift += 4 - unit.size;
    }
    at.end_first_pass = image_size + shift;
    for (int32_t k = header.rebuilt ? header_label_count - 1 : -1; k >= 0; --k)
        at.header[header_label_address(header, k)] = k; // the first name wins at a shared address
    return at;
}

std::vector<t_label_site> place_labels(std::vector<t_unit>& units, const t_header& header, int64_t image_size) {
    const t_positions at = positions(units, header, image_size);
    std::map<int64_t, bool> used; // generated labels to define
    for (t_unit& unit : units) {
        if (unit.operand == operand_data_word) {
            if (can_label(at, unit.target)) {
                unit.label = name_at(at, unit.target);
                used[unit.target] = true;
            }
            continue;
        }
        if (unit.operand != operand_absolute && unit.operand != operand_relative)
            continue;
        if (can_label(at, unit.target)) {
            int64_t value = first_pass_address(at, unit.target);
            if (unit.operand == operand_relative)
                value -= first_pass_address(at, unit.address);
            if ((fits_16(value) ? 4 : 6) == unit.size) {
                unit.label = name_at(at, unit.target);
                used[unit.target] = true;
                continue;
            }
        }
        if (unit.operand == operand_relative) {
            unit.label = cat({name_at(at, unit.address), offset_text(unit.value)});
            used[unit.address] = true;
        }
    }
    std::vector<t_label_site> sites;
    for (int64_t address = 0;;) {
        // Walk the addresses that carry a label, in order: generated ones and the header's.
        auto next_used = used.lower_bound(address);
        auto next_header = at.header.lower_bound(address);
        int64_t here = INT64_MAX;
        if (next_used != used.end())
            here = next_used->first;
        if (next_header != at.header.end())
            here = std::min(here, next_header->first);
        if (here == INT64_MAX)
            break;
        t_label_site site{here, {}};
        for (int32_t k = 0; k < header_label_count && header.rebuilt; ++k)
            if (header_label_address(header, k) == here)
                site.names.push_back(header_label_names[k]);
        if (site.names.empty())
            site.names.push_back(generated_name(here));
        sites.push_back(site);
        address = here + 1;
    }
    return sites;
}
