// The browser playground's way into the assembler: the page's files as in-memory texts, one
// in-process run of the language server's assembly, and what the page shows of it. Called from
// JavaScript through plain C functions; structured results come back as JSON text, bulk results
// (the image, the lines) as arrays the page reads straight from the module's memory.
#include "base/words.h"
#include "disasm/disasm.h"
#include "driver/orbasm.h"
#include "tools/orbls/assembly.h"
#include "tools/orbls/documents.h"
#include "tools/orbls/manual.h"

#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstring>

namespace {

// The folder that the page's files stand in: the working directory, so that names given
// relative to it read in reports as the page shows them.
constexpr std::string_view files_folder = "/";
// An image larger than this is laid out but not handed to the page, which could not hold it.
constexpr int32_t image_bytes_max = 64 << 20;

std::map<std::string, std::string, std::less<>> texts; // by absolute path
t_assembly last;                                       // the latest run, for hovers
std::vector<uint8_t> image;
std::vector<int32_t> line_table; // 7 numbers per line, as pg_lines describes them
std::string result;              // the JSON or text handed back last

std::string path_of(std::string_view name) { return normal_path(std::string(files_folder) + std::string(name)); }

// The page's name of an absolute path: relative to the files' folder.
std::string name_of(const std::string& path) {
    return path.compare(0, files_folder.size(), files_folder) == 0 ? path.substr(files_folder.size()) : path;
}

void put_json_string(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else
            out += c;
    }
    out += '"';
}

// The image as write_image would write it: every line's bytes at its address, zeros between.
bool build_image(const t_assembly& assembly) {
    image.clear();
    if (!assembly.ok || assembly.end_of_image > image_bytes_max)
        return false;
    image.assign(static_cast<std::size_t>(assembly.end_of_image), 0);
    for (const t_line_bytes& line : assembly.lines)
        std::memcpy(image.data() + line.address, assembly.bytes.data() + line.first_byte,
                    static_cast<std::size_t>(line.byte_count));
    return true;
}

void put_finding(std::string& out, const t_assembly& assembly, const t_finding& finding) {
    // A finding of no line (a constant defined for the run) belongs to the main file's first line.
    const bool placed = finding.file >= 0;
    out += "{\"file\":";
    put_json_string(out, name_of(assembly.files[placed ? static_cast<std::size_t>(finding.file) : 0]));
    out += ",\"line\":" + std::to_string(placed ? finding.span.line + 1 : 1);
    out += ",\"column\":" + std::to_string(placed ? finding.span.start + 1 : 1);
    out += ",\"endColumn\":" + std::to_string(placed ? finding.span.end + 1 : 1);
    out += ",\"severity\":";
    out += finding.warning ? "\"warning\"" : "\"error\"";
    out += ",\"message\":";
    put_json_string(out, finding.message);
    out += ",\"includedFrom\":[";
    for (std::size_t k = 0; k < finding.included_from.size(); ++k) {
        out += k == 0 ? "{\"file\":" : ",{\"file\":";
        put_json_string(out, name_of(assembly.files[static_cast<std::size_t>(finding.included_from[k].first)]));
        out += ",\"line\":" + std::to_string(finding.included_from[k].second + 1) + "}";
    }
    out += "]}";
}

} // namespace

extern "C" {

// Forgets every file.
EMSCRIPTEN_KEEPALIVE void pg_clear_files() { texts.clear(); }

// Sets the text of the file name (relative to the page's folder) to length bytes.
EMSCRIPTEN_KEEPALIVE void pg_put_file(const char* name, const char* bytes, int32_t length) {
    texts[path_of(name)] = std::string(bytes, static_cast<std::size_t>(length));
}

// Assembles main among the files. Returns {"ok", "diagnostics": [...], "files": [...],
// "imageSize"} (imageSize -1 when there is no image to hand over); the image and the lines
// are then at pg_image and pg_lines.
EMSCRIPTEN_KEEPALIVE const char* pg_assemble(const char* main_name) {
    last = assemble(path_of(main_name), {}, texts);
    const bool imaged = build_image(last);
    line_table.clear();
    for (const t_line_bytes& line : last.lines)
        line_table.insert(line_table.end(), {line.file, line.line + 1, line.address, line.byte_count, line.fill,
                                             line.fill_kind, line.first_byte});
    result = "{\"ok\":";
    result += last.ok ? "true" : "false";
    result += ",\"imageSize\":" + std::to_string(imaged ? static_cast<int64_t>(image.size()) : -1);
    result += ",\"endOfImage\":" + std::to_string(last.end_of_image);
    result += ",\"files\":[";
    for (std::size_t k = 0; k < last.files.size(); ++k) {
        if (k > 0)
            result += ',';
        put_json_string(result, name_of(last.files[k]));
    }
    result += "],\"diagnostics\":[";
    for (std::size_t k = 0; k < last.findings.size(); ++k) {
        if (k > 0)
            result += ',';
        put_finding(result, last, last.findings[k]);
    }
    result += "]}";
    return result.c_str();
}

EMSCRIPTEN_KEEPALIVE const uint8_t* pg_image() { return image.data(); }

// Per line of the last run, by file and line: the file's index, the 1-based line, the address,
// the count of bytes it wrote, the fill after them and its kind ('z', 'r', 'g' or 0), and where
// its bytes start at pg_line_bytes.
EMSCRIPTEN_KEEPALIVE const int32_t* pg_lines() { return line_table.data(); }
EMSCRIPTEN_KEEPALIVE int32_t pg_line_count() { return static_cast<int32_t>(line_table.size() / 7); }
EMSCRIPTEN_KEEPALIVE const uint8_t* pg_line_bytes() { return last.bytes.data(); }

// What the language server's hover tells of the name at the 1-based line and UTF-16 column of
// a file in the last run: {"name", "constant", "defined", "value", "laidOut"}, or null.
EMSCRIPTEN_KEEPALIVE const char* pg_symbol_at(const char* name, int32_t line, int32_t column) {
    const t_use* use = use_at(last, file_index(last, path_of(name)), line - 1, column - 1);
    if (use == nullptr)
        return "null";
    const t_symbol& symbol = last.symbols[static_cast<std::size_t>(use->symbol)];
    result = "{\"name\":";
    put_json_string(result, symbol.name);
    result += std::string(",\"constant\":") + (symbol.constant ? "true" : "false");
    result += std::string(",\"defined\":") + (symbol.defined ? "true" : "false");
    result += ",\"value\":" + std::to_string(symbol.value);
    result += std::string(",\"laidOut\":") + (last.ok ? "true" : "false") + "}";
    return result.c_str();
}

// The manual's help on a mnemonic or directive, in Markdown, as the language server's hover
// gives it; "" for another word.
EMSCRIPTEN_KEEPALIVE const char* pg_word_help(const char* word) {
    result = word_help(word);
    return result.c_str();
}

// The console form's output for main: the echo of every line, then the report of an error.
EMSCRIPTEN_KEEPALIVE const char* pg_echo(const char* main_name) {
    result.clear();
    t_options options; // the console form, without the image
    options.source = main_name;
    options.write_image = false;
    options.console = &result;
    options.texts = &texts;
    options.only_regular_files = true;
    assemble_program(options);
    return result.c_str();
}

// The disassembly of length bytes: {"source", "listing", "header"}, the header being the
// listing's lines of the image header, "" when the image has none.
EMSCRIPTEN_KEEPALIVE const char* pg_disassemble(const uint8_t* bytes, int32_t length) {
    const std::vector<uint8_t> given(bytes, bytes + length);
    const std::vector<t_dis_line> lines = disassemble(given);
    std::vector<t_dis_line> header;
    for (const t_dis_line& line : lines)
        if (line.kind == dis_header)
            header.push_back(line);
    result = "{\"source\":";
    put_json_string(result, source_text(lines));
    result += ",\"listing\":";
    put_json_string(result, listing_text(given, lines));
    result += ",\"header\":";
    put_json_string(result, listing_text(given, header));
    result += "}";
    return result.c_str();
}

// The language's word lists, for the page's highlighting: [{"kind", "list"}], as words.h has them.
EMSCRIPTEN_KEEPALIVE const char* pg_word_lists() {
    result = "[";
    for (const t_word_list& words : language_words) {
        result += result.size() == 1 ? "{\"kind\":" : ",{\"kind\":";
        put_json_string(result, words.kind);
        result += ",\"list\":";
        put_json_string(result, words.list);
        result += "}";
    }
    result += "]";
    return result.c_str();
}

} // extern "C"
