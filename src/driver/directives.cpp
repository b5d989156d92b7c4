// The line dispatcher: includes, directives and labels here, every other line to the encoder.
#include "base/base.h"
#include "base/words.h"
#include "driver/driver.h"
#include "encoder/encoder.h"
#include "image/image.h"
#include "lex/lex.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <algorithm>

// Appends an item of kind and returns it, for the directive to set its size or parameter.
static t_item* emit_directive(int32_t kind) {
    emit_item(kind, 0, nullptr);
    return tail;
}

static void define_constant(std::string_view line, int32_t pos) {
    const auto length = static_cast<int32_t>(line.size());
    const int32_t name_start = fault_position = pos;
    while (pos <= length && line[static_cast<std::size_t>(pos - 1)] != ' ')
        ++pos;
    t_rb_data record{};
    record.tag = 1;
    record.name = line.substr(static_cast<std::size_t>(name_start - 1), static_cast<std::size_t>(pos - name_start));
    name_defined_by_line = record.name;
    fatal_check(pos <= length, "Error in constant definition");
    fatal_check(pos + 2 <= length && line[static_cast<std::size_t>(pos)] == '=', "Error in constant definition");
    pos += 2;
    record.value = parse_immediate(line, pos);
    record.item = &head_item; // a constant owns no item; the head item marks it defined
    fault_position = name_start;
    enter_symbol(record);
    name_defined_by_line = {};
}

static void define_label(std::string_view line, int32_t pos) {
    const auto length = static_cast<int32_t>(line.size());
    emit_item(kind_label, 0, nullptr);
    while (pos <= length && line[static_cast<std::size_t>(pos - 1)] != ' ' && line[static_cast<std::size_t>(pos - 1)] != ':')
        ++pos;
    fatal_check(pos > 2, "Invalid label");
    t_rb_data record{};
    record.tag = 1;
    record.name = line.substr(0, static_cast<std::size_t>(pos - 1));
    record.item = tail;
    fault_position = 1;
    name_defined_by_line = record.name;
    enter_symbol(record);
    name_defined_by_line = {};
    // The rest of a label line is not read: an instruction there is lost, a ";" note is not.
    expect_char(line, ':', pos);
    fault_position = pos;
    warn_check(pos > length || line[static_cast<std::size_t>(pos - 1)] == ';', warning_label_text,
               "Text after a label is not assembled");
}

bool include_in_hand = false;

static const t_keywords directive_keywords = compile_keywords(directive_list);
// ORDER: as directive_list.
enum : int32_t {
    directive_include = 1, directive_org, directive_align, directive_data, directive_zero, directive_header, directive_const
};

// The value of a directive at pos; a check of it points at its start.
static int32_t directive_value(std::string_view line, int32_t& pos) {
    const int32_t value_at = pos;
    const int32_t value = parse_immediate(line, pos);
    fault_position = value_at;
    return value;
}

// "2*3" reads as 2 and 3, which sum to 5. A label line warns of its rest anyway; after a ";" a
// note may say anything.
void check_dropped_characters() {
    const std::string_view line = current_line;
    if (!warnings_wanted || line.empty() || line[0] == '@')
        return;
    const t_source& source = include_stack[nesting_depth];
    const std::string_view text = source.written.substr(static_cast<std::size_t>(source.indent));
    for (std::size_t k = 0; k + 1 < static_cast<std::size_t>(first_dropped); ++k) {
        if (text[k] == '"' || text[k] == '\'')
            k = std::min(text.find(text[k], k + 1), text.size()); // closed: the line was normalised
        else if (text[k] == ';')
            return;
    }
    t_place place = current_place();
    place.column = source.indent + first_dropped;
    place.length = 1;
    fault_place = &place;
    const char dropped = text[static_cast<std::size_t>(first_dropped - 1)];
    warn(warning_ignored_characters,
         std::string("'") + dropped + "' is ignored outside strings: expressions have only + and -");
    fault_place = nullptr;
}

void process_line() {
    const std::string_view line = current_line;
    if (line.empty())
        return;
    int32_t pos = 1;
    // Every directive begins with "#": other lines fail every match at once.
    const int32_t directive = line[0] == '#' ? match_keyword(line, directive_keywords, pos, false) : 0;
    t_item* item = nullptr;
    switch (directive) {
    case directive_include:
        include_in_hand = true;
        open_include(pos);
        include_in_hand = false;
        break;
    case directive_org:
        item = emit_directive(kind_org);
        item->parameter = directive_value(line, pos);
        note_org(item);
        break;
    case directive_align:
        item = emit_directive(kind_align);
        item->parameter = directive_value(line, pos);
        fatal_check(item->parameter >= 1, "Alignment must be at least 1");
        break;
    case directive_data:
    case directive_zero:
        item = emit_directive(directive == directive_data ? kind_reserve : kind_zero);
        item->size = directive_value(line, pos);
        fatal_check(item->size >= 0, "Size must not be negative");
        break;
    case directive_header:
        header_requested = true;
        emit_item(kind_bytes, 4, "ORBX");
        // ORDER: the seven header words.
        for (std::string_view word : {"@endofexe", "@endofmem", "@runpoint", "@start", "@stack",
                                      "@endofstack-@stack", "@endofmem"})
            emit_deferred(kind_value, parse_terms(word, pos = 1));
        break;
    case directive_const:
        define_constant(line, pos);
        break;
    default:
        if (expect_char(line, '@', pos))
            define_label(line, pos);
        else
            encode_instruction();
    }
}
