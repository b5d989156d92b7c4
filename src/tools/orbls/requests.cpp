// The requests about the program, answered from the latest assemblies of the open documents.
#include "tools/orbls/requests.h"

#include "base/words.h"
#include "tools/diagnostics.h"
#include "tools/orbls/manual.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <tuple>

// Protocol enumerations used here.
enum : int {
    severity_error = 1,
    severity_warning = 2,
    symbol_function = 12,
    symbol_constant = 14,
    completion_variable = 6,
    completion_keyword = 14,
    completion_reference = 18,
    completion_enum_member = 20,
    completion_constant = 21,
};

static bool is_language_word(std::string_view word, std::string_view kind) {
    const std::vector<t_language_word>& table = language_word_table();
    return std::any_of(table.begin(), table.end(),
                       [&](const t_language_word& w) { return w.word == word && w.kind == kind; });
}

static t_json position_json(int64_t line, int64_t character) { return {{"line", line}, {"character", character}}; }

static t_json range_json(const t_span16& span) {
    return {{"start", position_json(span.line, span.start)}, {"end", position_json(span.line, span.end)}};
}

static t_json location_json(const t_server& server, const std::string& path, const t_span16& span) {
    return {{"uri", uri_of_path(server, path)}, {"range", range_json(span)}};
}

static const t_document* document_of(const t_server& server, const t_json& params) {
    return find_document(server.store, params.at("textDocument").at("uri").get<std::string>());
}

int64_t position_number(const t_json& number) {
    if (number.is_number_unsigned())
        return static_cast<int64_t>(std::min<uint64_t>(number.get<uint64_t>(), INT64_MAX));
    if (number.is_number_integer())
        return std::max<int64_t>(number.get<int64_t>(), -1);
    const double value = number.get<double>();
    return value < 0 ? -1 : value >= std::ldexp(1.0, 63) ? INT64_MAX : static_cast<int64_t>(value);
}

bool position_of(const t_json& position, t_position& out) {
    if (!position.is_object())
        return false;
    const auto line = position.find("line");
    const auto character = position.find("character");
    if (line == position.end() || character == position.end() || !line->is_number() || !character->is_number())
        return false;
    out = {position_number(*line), position_number(*character)};
    return out.line >= 0 && out.character >= 0;
}

// The request's position (parameters of the wrong form throw, whatever the document).
static t_position position_param(const t_json& params) {
    const t_json& at = params.at("position");
    return {position_number(at.at("line")), position_number(at.at("character"))};
}

// The request's document and position, when the document is open and the position on one of its
// lines; nil otherwise.
static const t_document* document_at(const t_server& server, const t_json& params, t_position& position) {
    position = position_param(params);
    const t_document* document = document_of(server, params);
    if (document == nullptr || position.line < 0 || position.character < 0 ||
        static_cast<std::size_t>(position.line) >= document->line_starts.size())
        return nullptr;
    return document;
}

static std::string_view document_line(const t_server& server, const t_document& document, int64_t line) {
    return line_of(document_text(server.store, document), document.line_starts, line);
}

// The span of a whole line, from its first word to its end, in UTF-16 units.
static t_span16 line_span(std::string_view text, int32_t line) {
    const std::size_t first = std::min(text.find_first_not_of(" \t"), text.size());
    return {line, utf16_length(text, first), utf16_length(text, text.size())};
}

// The word of the line around a byte offset, and where it begins; "" when none is there.
static std::string_view word_around(std::string_view line, std::size_t at, std::size_t& start) {
    if (at >= line.size() || !is_word_character(line[at]))
        return {};
    start = at;
    while (start > 0 && is_word_character(line[start - 1]))
        --start;
    std::size_t end = at;
    while (end < line.size() && is_word_character(line[end]))
        ++end;
    return line.substr(start, end - start);
}

// A path as a message shows it: relative to the workspace when it lies inside.
// A path as shown in a message: relative to the folder include names are taken from.
static std::string shown_path(const t_server& server, const std::string& path) {
    std::error_code error;
    const std::string root = server.settings.base.empty() ? std::filesystem::current_path(error).string()
                                                          : server.settings.base;
    if (!error && path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/')
        return path.substr(root.size() + 1);
    return path;
}

t_json diagnostics_params(const t_server& server, const t_document& document) {
    const auto run = server.runs.find(document.path);
    t_json list = t_json::array();
    const std::string& text = document_text(server.store, document);
    const t_span16 first_line = line_span(line_of(text, document.line_starts, 0), 0);
    if (run != server.runs.end()) {
        const t_assembly& assembly = run->second.assembly;
        const int32_t own = file_index(assembly, document.path);
        for (const t_finding& finding : assembly.findings) {
            t_json diagnostic = {{"severity", finding.warning ? severity_warning : severity_error},
                                 {"source", "orbasm"},
                                 {"message", finding.message}};
            t_json related = t_json::array();
            t_span16 span = first_line; // a finding of no line belongs to the program: its first line
            if (finding.file >= 0 && finding.file == own) {
                span = finding.span;
            } else if (finding.file >= 0) {
                // In an included file: at the outermost #include of this document that leads there.
                const std::string& path = assembly.files[static_cast<std::size_t>(finding.file)];
                for (const auto& [file, line] : finding.included_from)
                    if (file == own)
                        span = line_span(line_of(text, document.line_starts, line), line);
                related.push_back({{"location", location_json(server, path, finding.span)}, {"message", finding.message}});
                diagnostic["message"] = finding.message + " (in " + shown_path(server, path) + ":" + std::to_string(finding.span.line + 1) + ")";
            }
            for (const auto& [file, line] : finding.included_from)
                related.push_back({{"location", location_json(server, assembly.files[static_cast<std::size_t>(file)],
                                                              {line, 0, 0})},
                                   {"message", "included from here"}});
            for (const t_finding_note& note : finding.notes)
                related.push_back(
                    {{"location", location_json(server, assembly.files[static_cast<std::size_t>(note.file)], note.span)},
                     {"message", note.message}});
            diagnostic["range"] = range_json(span);
            if (!related.empty())
                diagnostic["relatedInformation"] = related;
            list.push_back(std::move(diagnostic));
        }
    }
    return {{"uri", document.uri}, {"version", document.version}, {"diagnostics", list}};
}

// After the address of a line or label below a line in error.
static constexpr std::string_view approximate_note = ", approximate: a line above has an error";

// What hovering over a name says.
static std::string symbol_text(const t_assembly& assembly, const t_symbol& symbol) {
    std::string text = "`" + symbol.name + "` ";
    if (!symbol.defined)
        return text + "is not defined";
    if (symbol.constant)
        return text + "constant = " + std::to_string(symbol.value) + " (" + hex8(symbol.value) + "h)";
    if (!assembly.laid_out)
        return text + "label (no address: the program has an error)";
    return text + "label at " + hex8(symbol.value) + "h (" + std::to_string(symbol.value) + ")" +
           std::string(symbol.approximate ? approximate_note : "");
}

// What hovering over a line says: its address and bytes.
static std::string line_text(const t_assembly& assembly, const t_line_bytes& line) {
    static constexpr int32_t bytes_shown = 32;
    std::string text = "address " + hex8(line.address) + "h";
    if (line.byte_count > 0) {
        text += ":";
        for (int32_t k = 0; k < line.byte_count && k < bytes_shown; ++k) {
            char piece[4];
            std::snprintf(piece, sizeof piece, " %02X", assembly.bytes[static_cast<std::size_t>(line.first_byte + k)]);
            text += piece;
        }
        if (line.byte_count > bytes_shown)
            text += " … (" + std::to_string(line.byte_count) + " bytes)";
    }
    if (line.fill > 0)
        text += std::string(line.fill_kind == 'z' ? " [zeros: " : line.fill_kind == 'r' ? " [reserved: " : " [gap: ") +
                std::to_string(line.fill) + "]";
    if (line.approximate)
        text += approximate_note;
    return text;
}

t_json hover_result(const t_server& server, const t_json& params) {
    t_position position{};
    const t_document* document = document_at(server, params, position);
    if (document == nullptr)
        return nullptr;
    const std::string_view line = document_line(server, *document, position.line);
    const std::vector<const t_assembly*> assemblies = assemblies_for(server, *document);
    std::vector<std::string> parts;
    t_json range;
    for (const t_assembly* assembly : assemblies) {
        const t_use* use = use_at(*assembly, file_index(*assembly, document->path), position.line, position.character);
        if (use != nullptr) {
            parts.push_back(symbol_text(*assembly, assembly->symbols[static_cast<std::size_t>(use->symbol)]));
            range = range_json(use->span);
            break;
        }
    }
    std::size_t start = 0;
    const std::string_view word = word_around(line, byte_offset(line, position.character), start);
    if (parts.empty() && !word.empty() && line.find_first_not_of(" \t") == start &&
        (is_language_word(word, "mnemonic") || is_language_word(word, "directive"))) {
        const std::string help = word_help(word);
        if (!help.empty()) {
            parts.push_back(help);
            range = range_json({static_cast<int32_t>(position.line), utf16_length(line, start),
                                utf16_length(line, start + word.size())});
        }
    }
    // A line that put bytes or a fill into the image (a label line puts neither).
    for (const t_assembly* assembly : assemblies)
        if (const t_line_bytes* bytes = line_bytes_at(*assembly, file_index(*assembly, document->path), position.line)) {
            if (bytes->byte_count > 0 || bytes->fill > 0)
                parts.push_back(line_text(*assembly, *bytes));
            break;
        }
    if (parts.empty())
        return nullptr;
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "\n\n---\n\n") + part;
    t_json result = {{"contents", {{"kind", "markdown"}, {"value", text}}}};
    if (!range.is_null())
        result["range"] = range;
    return result;
}

// The name at the request's position, in the first assembly that knows it there.
static const t_use* use_of_request(const t_server& server, const t_json& params, const t_assembly** in) {
    t_position position{};
    const t_document* document = document_at(server, params, position);
    if (document == nullptr)
        return nullptr;
    for (const t_assembly* assembly : assemblies_for(server, *document))
        if (const t_use* use =
                use_at(*assembly, file_index(*assembly, document->path), position.line, position.character)) {
            *in = assembly;
            return use;
        }
    return nullptr;
}

t_json definition_result(const t_server& server, const t_json& params) {
    const t_assembly* assembly = nullptr;
    const t_use* use = use_of_request(server, params, &assembly);
    const t_use* definition = use == nullptr ? nullptr : definition_of(*assembly, use->symbol);
    if (definition == nullptr)
        return nullptr;
    return location_json(server, assembly->files[static_cast<std::size_t>(definition->file)], definition->span);
}

t_json references_result(const t_server& server, const t_json& params) {
    const t_assembly* assembly = nullptr;
    const t_use* use = use_of_request(server, params, &assembly);
    t_json list = t_json::array();
    if (use == nullptr)
        return list;
    const std::string name = assembly->symbols[static_cast<std::size_t>(use->symbol)].name;
    const bool declarations = params.value("context", t_json::object()).value("includeDeclaration", true);
    // Every program that includes the document may use the name: each run's uses, each place once.
    std::set<std::tuple<std::string, int32_t, int32_t>> seen;
    for (const t_assembly* each : assemblies_for(server, *document_of(server, params))) {
        const int32_t symbol = symbol_named(*each, name);
        for (const t_use& other : each->uses) {
            const std::string& path = each->files[static_cast<std::size_t>(other.file)];
            if (other.symbol != symbol || (other.definition && !declarations) ||
                !seen.emplace(path, other.span.line, other.span.start).second)
                continue;
            list.push_back(location_json(server, path, other.span));
        }
    }
    return list;
}

static std::string symbol_detail(const t_assembly& assembly, const t_symbol& symbol) {
    if (symbol.constant)
        return "= " + std::to_string(symbol.value);
    return assembly.laid_out ? hex8(symbol.value) + "h" : "";
}

t_json document_symbol_result(const t_server& server, const t_json& params) {
    const t_document* document = document_of(server, params);
    t_json list = t_json::array();
    if (document == nullptr)
        return list;
    const std::vector<const t_assembly*> assemblies = assemblies_for(server, *document);
    if (assemblies.empty())
        return list;
    const t_assembly& assembly = *assemblies.front();
    const int32_t own = file_index(assembly, document->path);
    for (const t_use& use : assembly.uses) {
        if (use.file != own || !use.definition)
            continue;
        const t_symbol& symbol = assembly.symbols[static_cast<std::size_t>(use.symbol)];
        const std::string_view line = document_line(server, *document, use.span.line);
        list.push_back({{"name", symbol.name},
                        {"detail", symbol_detail(assembly, symbol)},
                        {"kind", symbol.constant ? symbol_constant : symbol_function},
                        {"range", range_json({use.span.line, 0, utf16_length(line, line.size())})},
                        {"selectionRange", range_json(use.span)}});
    }
    return list;
}

static std::string lower_case(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return lower;
}

t_json workspace_symbol_result(const t_server& server, const t_json& params) {
    const std::string query = lower_case(params.value("query", ""));
    t_json list = t_json::array();
    std::set<std::tuple<std::string, std::string, int32_t>> seen;
    for (const auto& [uri, run] : server.runs) {
        const t_assembly& assembly = run.assembly;
        for (const t_use& use : assembly.uses) {
            const t_symbol& symbol = assembly.symbols[static_cast<std::size_t>(use.symbol)];
            const std::string& path = assembly.files[static_cast<std::size_t>(use.file)];
            if (!use.definition || lower_case(symbol.name).find(query) == std::string::npos ||
                !seen.emplace(symbol.name, path, use.span.line).second)
                continue;
            list.push_back({{"name", symbol.name},
                            {"kind", symbol.constant ? symbol_constant : symbol_function},
                            {"location", location_json(server, path, use.span)},
                            {"containerName", path.substr(path.rfind('/') + 1)}});
        }
    }
    return list;
}

static int completion_kind(std::string_view kind) {
    if (kind == "mnemonic" || kind == "directive" || kind == "operand word")
        return completion_keyword;
    return kind == "condition" ? completion_enum_member : completion_variable;
}

t_json completion_result(const t_server& server, const t_json& params) {
    t_position position{};
    const t_document* document = document_at(server, params, position);
    t_json items = t_json::array();
    if (document == nullptr)
        return {{"isIncomplete", false}, {"items", items}};
    const std::string_view line = document_line(server, *document, position.line);
    const std::size_t cursor = byte_offset(line, position.character);
    std::size_t start = cursor;
    while (start > 0 && is_word_character(line[start - 1]))
        --start;
    const std::string_view prefix = line.substr(start, cursor - start);
    const t_json range = range_json({static_cast<int32_t>(position.line), utf16_length(line, start),
                                     utf16_length(line, cursor)});
    // The first word of a line is a mnemonic or a directive; after it come operands.
    const bool first_word = line.find_first_not_of(" \t") >= start;
    const auto add = [&](const std::string& label, int kind, const std::string& detail) {
        if (label.compare(0, prefix.size(), prefix) == 0)
            items.push_back({{"label", label}, {"kind", kind}, {"detail", detail},
                             {"textEdit", {{"range", range}, {"newText", label}}}});
    };
    for (const t_language_word& word : language_word_table()) {
        const bool leading = word.kind == "mnemonic" || word.kind == "directive";
        if (leading == first_word)
            add(word.word, completion_kind(word.kind), std::string(word.kind));
    }
    const std::vector<const t_assembly*> assemblies = assemblies_for(server, *document);
    if (!first_word && !assemblies.empty()) {
        const t_assembly& assembly = *assemblies.front();
        for (const t_symbol& symbol : assembly.symbols)
            if (symbol.defined)
                add(symbol.name, symbol.constant ? completion_constant : completion_reference,
                    (symbol.constant ? "constant " : "label ") + symbol_detail(assembly, symbol));
    }
    return {{"isIncomplete", false}, {"items", items}};
}
