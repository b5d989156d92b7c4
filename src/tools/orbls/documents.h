// The document store: the texts of the documents the editor has open, by URI and by path, with
// the positions of their lines. The texts are what the assembler reads instead of the files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// One open document.
struct t_document {
    std::string uri;                      // as the editor named it when it opened the document
    std::vector<std::string> uris;        // the name of each open; it is closed with the last
    std::string path;                     // absolute and lexically normal: the key of its text
    int64_t version = 0;                  // the editor's version of the text
    std::vector<std::size_t> line_starts; // the byte offset where each line begins
};

// A position in a document as the protocol gives it: 0-based line and UTF-16 code unit.
struct t_position {
    int64_t line;
    int64_t character;
};

struct t_document_store {
    // By path: URIs that name one file (spelt with %xx, "." or "..", doubled slashes) open one document.
    std::map<std::string, t_document> by_path;
    std::map<std::string, std::string, std::less<>> texts; // by path, for the assembler's reader
};

// The absolute, lexically normal path of a file URI ("file:///a/b%20c" gives "/a/b c"); a URI of
// another scheme gets a path of its own under "/" that no file is likely to have.
std::string uri_to_path(std::string_view uri);
// The file URI of an absolute path, every byte but unreserved ones and "/" percent-encoded.
std::string path_to_uri(std::string_view path);
// The absolute, lexically normal form of a path, relative ones taken from the working directory.
std::string normal_path(std::string_view path);

// Opens (or replaces) the document of the URI's file; returns it.
t_document& open_document(t_document_store& store, const std::string& uri, int64_t version, std::string text);
// Closes one open of the document, the one named uri if any; the document goes with its last
// open, and its diagnostics go to a name still open. True when it went.
bool close_document(t_document_store& store, const std::string& path, const std::string& uri);
// The open document of the URI's file, or nil.
t_document* find_document(t_document_store& store, std::string_view uri);
const t_document* find_document(const t_document_store& store, std::string_view uri);
const std::string& document_text(const t_document_store& store, const t_document& document);
// Replaces the text between two positions (a change without a range replaces the whole text).
void change_document(t_document_store& store, t_document& document, const t_position* start, const t_position* end,
                     std::string_view replacement);

// Where each line of text begins: after CR LF, CR alone or LF alone, as the reader counts lines.
std::vector<std::size_t> line_starts_of(std::string_view text);
// The line's text without its line end; empty past the last line.
std::string_view line_of(std::string_view text, const std::vector<std::size_t>& line_starts, int64_t line);
// UTF-16 code units of the first bytes of line (a byte that is no part of a valid UTF-8 sequence
// counts as one unit).
int32_t utf16_length(std::string_view line, std::size_t bytes);
// The byte offset in line of a UTF-16 column; the line's end for a column past it.
std::size_t byte_offset(std::string_view line, int64_t utf16_column);
// The byte offset of a position in text; the text's end for a position past it.
std::size_t text_offset(std::string_view text, const std::vector<std::size_t>& line_starts, t_position position);
