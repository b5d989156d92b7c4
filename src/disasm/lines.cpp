// The decoding as lines: the units with their label definitions in front of them, and for a
// rebuilt header the reserves and labels past the end of the image.
#include "base/words.h"
#include "disasm/disasm.h"
#include "disasm/units.h"

#include <cstdio>

std::string unit_text(const t_unit& unit) {
    switch (unit.operand) {
    case operand_number:
        return unit.before + number_text(unit.value) + unit.after;
    case operand_displacement:
        return unit.before + (unit.value > 0 ? "+" : "") + number_text(unit.value) + unit.after;
    case operand_absolute:
    case operand_relative:
    case operand_data_word:
        return unit.before + (unit.label.empty() ? number_text(unit.value) : unit.label) + unit.after;
    default:
        return unit.before + unit.after;
    }
}

// ORDER: the header's words as "#header" writes them.
static constexpr const char* header_fields[7] = {"end of image", "end of memory", "@runpoint", "@start",
                                                 "@stack", "@endofstack-@stack", "end of memory"};

static std::string header_note(const t_unit& unit, const t_header& header) {
    if (unit.kind == unit_magic)
        return header.rebuilt ? "header: magic" : "header: magic; #header would not give the words that follow";
    return std::string("header: ") + header_fields[(unit.address - 4) / 4] + " = " + hex8(unit.value);
}

static void add_labels(std::vector<t_dis_line>& lines, const t_label_site& site) {
    for (const std::string& name : site.names)
        lines.push_back({dis_label, static_cast<int32_t>(site.address), 0, name + ":", ""});
}

static void add_reserve(std::vector<t_dis_line>& lines, int64_t from, int64_t to) {
    if (to > from)
        lines.push_back({dis_reserve, static_cast<int32_t>(from), 0,
                         "#data " + number_text(static_cast<int32_t>(to - from)), ""});
}

std::vector<t_dis_line> disassemble(const std::vector<uint8_t>& image) {
    const t_header header = read_header(image);
    std::vector<t_unit> units = sweep_image(image, header);
    const auto size = static_cast<int64_t>(image.size());
    const std::vector<t_label_site> sites = place_labels(units, header, size);
    std::vector<t_dis_line> lines;
    std::size_t site = 0;
    for (const t_unit& unit : units) {
        while (site < sites.size() && sites[site].address <= unit.address)
            add_labels(lines, sites[site++]);
        const bool in_header = unit.kind == unit_magic || unit.kind == unit_header_word;
        const int32_t kind = in_header && header.rebuilt ? dis_header
                             : unit.kind == unit_instruction ? dis_instruction
                                                             : dis_data;
        lines.push_back({kind, unit.address, unit.size, unit_text(unit), in_header ? header_note(unit, header) : ""});
    }
    // Past the image: labels at its end, then the memory the header describes.
    int64_t reached = size;
    for (; site < sites.size(); ++site) {
        add_reserve(lines, reached, sites[site].address);
        reached = sites[site].address > reached ? sites[site].address : reached;
        add_labels(lines, sites[site]);
    }
    if (header.rebuilt)
        add_reserve(lines, reached, header.words[1]);
    return lines;
}

std::string source_text(const std::vector<t_dis_line>& lines) {
    std::string text;
    for (const t_dis_line& line : lines) {
        if (line.text.empty())
            continue;
        text += line.text;
        text += '\n';
    }
    return text;
}
