// The document store: open, change and close documents; URIs, paths and UTF-16 positions.
#include "tools/orbls/documents.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>

static int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static std::string percent_decoded(std::string_view text) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '%' && k + 2 < text.size() && hex_value(text[k + 1]) >= 0 && hex_value(text[k + 2]) >= 0) {
            out += static_cast<char>(hex_value(text[k + 1]) * 16 + hex_value(text[k + 2]));
            k += 2;
        } else {
            out += text[k];
        }
    }
    return out;
}

std::string normal_path(std::string_view path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), error);
    std::string normal = (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
    // "//a" stays "//a" to the library (a root of its own on some systems); here it is "/a".
    const std::size_t slashes = normal.find_first_not_of('/');
    if (slashes != std::string::npos && slashes > 1)
        normal.erase(0, slashes - 1);
    return normal;
}

std::string uri_to_path(std::string_view uri) {
    static constexpr std::string_view file_scheme = "file:";
    bool file = uri.size() > file_scheme.size();
    for (std::size_t k = 0; file && k < file_scheme.size(); ++k)
        file = (uri[k] | 0x20) == file_scheme[k]; // the scheme in any case
    if (file && uri[file_scheme.size()] == '/') {
        std::string_view rest = uri.substr(file_scheme.size());
        // "file://host/path": the host is dropped; the path begins at its first "/". "file:/path"
        // has none.
        if (rest.substr(0, 2) == "//") {
            const std::size_t slash = rest.find('/', 2);
            rest = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
        }
        const std::string path = percent_decoded(rest);
        if (!path.empty() && path.find('\0') == std::string::npos)
            return normal_path(path);
    }
    std::string path = "/-orbls-document-/";
    for (const char c : uri)
        path += c == '/' || c == '\0' ? '_' : c;
    return path;
}

std::string path_to_uri(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            uri += hex[byte >> 4];
            uri += hex[byte & 15];
        }
    }
    return uri;
}

std::vector<std::size_t> line_starts_of(std::string_view text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n')
            ++k;
        if (text[k] == '\r' || text[k] == '\n')
            starts.push_back(k + 1);
    }
    return starts;
}

std::string_view line_of(std::string_view text, const std::vector<std::size_t>& line_starts, int64_t line) {
    if (line < 0 || static_cast<std::size_t>(line) >= line_starts.size())
        return {};
    const std::size_t start = line_starts[static_cast<std::size_t>(line)];
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n')
        ++end;
    return text.substr(start, end - start);
}

// The bytes of the UTF-8 sequence that begins with lead, and its UTF-16 units; 1 and 1 for a
// byte that begins no valid sequence.
static void utf8_sequence(std::string_view line, std::size_t at, std::size_t& bytes, int32_t& units) {
    const auto lead = static_cast<unsigned char>(line[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5                    ? 4
                                                                                : 0;
    bytes = 1;
    units = 1;
    if (length < 2 || at + length > line.size())
        return;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(line[at + k]) & 0xC0) != 0x80)
            return;
    bytes = length;
    units = length == 4 ? 2 : 1;
}

// Walks line from its start until either limit is reached: bytes of UTF-8, or units of UTF-16.
static void walk_utf16(std::string_view line, std::size_t byte_limit, int64_t unit_limit, std::size_t& at,
                       int32_t& units) {
    for (at = 0, units = 0; at < line.size() && at < byte_limit && units < unit_limit;) {
        std::size_t length = 0;
        int32_t sequence_units = 0;
        utf8_sequence(line, at, length, sequence_units);
        at += length;
        units += sequence_units;
    }
}

int32_t utf16_length(std::string_view line, std::size_t bytes) {
    std::size_t at = 0;
    int32_t units = 0;
    walk_utf16(line, bytes, INT64_MAX, at, units);
    return units;
}

std::size_t byte_offset(std::string_view line, int64_t utf16_column) {
    std::size_t at = 0;
    int32_t units = 0;
    walk_utf16(line, SIZE_MAX, utf16_column, at, units);
    return at;
}

std::size_t text_offset(std::string_view text, const std::vector<std::size_t>& line_starts, t_position position) {
    if (position.line < 0)
        return 0;
    if (static_cast<std::size_t>(position.line) >= line_starts.size())
        return text.size();
    const std::string_view line = line_of(text, line_starts, position.line);
    return line_starts[static_cast<std::size_t>(position.line)] + byte_offset(line, position.character);
}

t_document& open_document(t_document_store& store, const std::string& uri, int64_t version, std::string text) {
    const std::string path = uri_to_path(uri);
    t_document& document = store.by_path[path];
    document.uri = uri;
    // Opened again under a name it is open under, it is still one open (the text is the new one).
    if (std::find(document.uris.begin(), document.uris.end(), uri) == document.uris.end())
        document.uris.push_back(uri);
    document.path = path;
    document.version = version;
    document.line_starts = line_starts_of(text);
    store.texts[document.path] = std::move(text);
    return document;
}

bool close_document(t_document_store& store, const std::string& path, const std::string& uri) {
    const auto found = store.by_path.find(path);
    if (found == store.by_path.end())
        return false;
    // Each open is closed once, under its own name or another spelling of it.
    std::vector<std::string>& uris = found->second.uris;
    const auto named = std::find(uris.begin(), uris.end(), uri);
    if (!uris.empty())
        uris.erase(named != uris.end() ? named : uris.begin());
    if (!uris.empty()) {
        found->second.uri = uris.back();
        return false;
    }
    store.by_path.erase(found);
    store.texts.erase(path);
    return true;
}

t_document* find_document(t_document_store& store, std::string_view uri) {
    const auto found = store.by_path.find(uri_to_path(uri));
    return found == store.by_path.end() ? nullptr : &found->second;
}

const t_document* find_document(const t_document_store& store, std::string_view uri) {
    const auto found = store.by_path.find(uri_to_path(uri));
    return found == store.by_path.end() ? nullptr : &found->second;
}

const std::string& document_text(const t_document_store& store, const t_document& document) {
    return store.texts.find(document.path)->second;
}

void change_document(t_document_store& store, t_document& document, const t_position* start, const t_position* end,
                     std::string_view replacement) {
    std::string& text = store.texts[document.path];
    if (start == nullptr || end == nullptr) {
        text.assign(replacement);
    } else {
        const std::size_t from = text_offset(text, document.line_starts, *start);
        const std::size_t to = std::max(from, text_offset(text, document.line_starts, *end));
        text.replace(from, to - from, replacement);
    }
    document.line_starts = line_starts_of(text);
}
