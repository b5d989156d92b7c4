// The listing: address and bytes in hex beside the text of every line.
#include "disasm/disasm.h"

#include <cstdio>

// Columns: the address, the bytes (at most six per line), the text, the note.
static constexpr std::size_t bytes_column_width = 17;
static constexpr std::size_t text_column_width = 36;
static constexpr const char* text_indent = "    "; // instructions and data stand in from labels

std::string listing_text(const std::vector<uint8_t>& image, const std::vector<t_dis_line>& lines) {
    std::string text;
    for (const t_dis_line& line : lines) {
        char address[12];
        std::snprintf(address, sizeof address, "%08X", static_cast<uint32_t>(line.address));
        std::string bytes;
        for (int32_t k = 0; k < line.size; ++k) {
            char piece[4];
            std::snprintf(piece, sizeof piece, "%02X", image[static_cast<std::size_t>(line.address + k)]);
            if (!bytes.empty())
                bytes += ' ';
            bytes += piece;
        }
        bytes.resize(bytes_column_width, ' ');
        std::string body = (line.kind == dis_label ? "" : text_indent) + line.text;
        if (!line.note.empty()) {
            if (body.size() < text_column_width)
                body.resize(text_column_width, ' ');
            body += "  ; " + line.note;
        }
        std::string row = std::string(address) + "  " + bytes + "  " + body;
        while (!row.empty() && row.back() == ' ')
            row.pop_back();
        text += row;
        text += '\n';
    }
    return text;
}
