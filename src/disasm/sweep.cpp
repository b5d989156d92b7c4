// The linear sweep: the image cut into units from address 0, instructions where they decode,
// data where they do not.
#include "disasm/units.h"

#include <algorithm>

static t_unit data_unit(const std::vector<uint8_t>& image, int32_t address, int32_t size) {
    t_unit unit{};
    unit.kind = size == 2 ? unit_word : unit_byte;
    unit.address = address;
    unit.size = size;
    unit.operand = operand_number;
    const std::size_t at = static_cast<std::size_t>(address);
    if (size == 2) {
        unit.before = "dw ";
        unit.value = image[at] | image[at + 1] << 8;
    } else {
        unit.before = "db ";
        unit.value = image[at];
    }
    return unit;
}

// The magic and the seven words; written by "#header" when it rebuilds them, else as data.
static void header_units(const t_header& header, std::vector<t_unit>& units) {
    t_unit magic{};
    magic.kind = unit_magic;
    magic.size = 4;
    magic.operand = operand_none;
    magic.before = header.rebuilt ? "#header" : "db 'ORBX'";
    units.push_back(magic);
    for (int32_t k = 0; k < 7; ++k) {
        t_unit word{};
        word.kind = unit_header_word;
        word.address = 4 + 4 * k;
        word.size = 4;
        word.operand = header.rebuilt ? operand_none : operand_data_word;
        word.before = header.rebuilt ? "" : "dd ";
        word.value = header.words[k];
        word.target = header.words[k];
        units.push_back(word);
    }
}

std::vector<t_unit> sweep_image(const std::vector<uint8_t>& image, const t_header& header) {
    std::vector<t_unit> units;
    const auto size = static_cast<int32_t>(image.size());
    // Header labels inside the image must stand between units: no unit may cross them.
    std::vector<int32_t> boundaries;
    int32_t address = 0;
    if (header.present) {
        header_units(header, units);
        address = 32;
        for (int32_t k = 0; header.rebuilt && k < header_label_count; ++k)
            boundaries.push_back(header_label_address(header, k));
        std::sort(boundaries.begin(), boundaries.end());
    }
    while (address < size) {
        // The first boundary after the address limits the unit.
        auto next = std::upper_bound(boundaries.begin(), boundaries.end(), address);
        const int64_t limit = next == boundaries.end() ? size : std::min<int64_t>(*next, size);
        t_unit unit{};
        if (decode_instruction(image, address, unit) && address + unit.size <= limit)
            units.push_back(unit);
        else
            units.push_back(data_unit(image, address, limit - address >= 2 ? 2 : 1));
        address += units.back().size;
    }
    return units;
}
