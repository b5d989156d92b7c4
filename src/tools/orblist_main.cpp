// orblist: assembles a source file exactly as orbasm does and prints a listing instead of the
// echo: every line with its place, address and bytes, then the symbol table. No image is written.
#include "driver/driver.h"
#include "image/image.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

// Bytes shown on one row of the listing; longer lines continue on rows of their own.
static constexpr int32_t bytes_per_row = 8;
static constexpr std::size_t bytes_column_width = 3 * bytes_per_row - 1;

static std::string hex8(int32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(value));
    return text;
}

// What one source line left in the image: its bytes, or a note for a fill or gap.
struct t_line_bytes {
    std::vector<uint8_t> bytes; // the bytes of its items, in order
    std::string note;           // "[zeros: n]", "[reserved: n]", "[gap: n]"; "" otherwise
};

static t_line_bytes line_bytes(const t_line_record& record) {
    t_line_bytes out;
    for (const t_item* item = record.first; item != nullptr; item = item->next) {
        if (item->kind == kind_bytes) {
            out.bytes.insert(out.bytes.end(), item->data, item->data + item->size);
        } else if (item->kind == kind_value || item->kind == kind_operand || item->kind == kind_memory) {
            uint8_t rendered[item_bytes_max];
            out.bytes.insert(out.bytes.end(), rendered, rendered + item_bytes(item, rendered));
        } else if (item->kind == kind_zero && item->size > 0) {
            out.note = "[zeros: " + std::to_string(item->size) + "]";
        } else if (item->kind == kind_reserve && item->size > 0) {
            out.note = "[reserved: " + std::to_string(item->size) + "]";
        } else if ((item->kind == kind_org || item->kind == kind_align) && item->size > 0) {
            out.note = "[gap: " + std::to_string(item->size) + "]";
        }
        if (item == record.last)
            break;
    }
    return out;
}

static void print_lines() {
    std::size_t place_width = 0;
    for (const t_line_record* record = line_records; record != nullptr; record = record->next)
        place_width = std::max(place_width, record->file_name.size() + 1 + std::to_string(record->line_number).size());
    for (const t_line_record* record = line_records; record != nullptr; record = record->next) {
        std::string place = std::string(record->file_name) + ":" + std::to_string(record->line_number);
        place.resize(place_width, ' ');
        const t_line_bytes produced = line_bytes(*record);
        const int32_t address = record->first != nullptr ? record->first->final_address : 0;
        const auto count = static_cast<int32_t>(produced.bytes.size());
        // The first row carries the place and the text; further rows only address and bytes.
        for (int32_t row = 0; row == 0 || row * bytes_per_row < count; ++row) {
            std::string hex = row == 0 ? produced.note : "";
            for (int32_t k = row * bytes_per_row; k < count && k < (row + 1) * bytes_per_row; ++k) {
                char piece[4];
                std::snprintf(piece, sizeof piece, "%02X", produced.bytes[static_cast<std::size_t>(k)]);
                if (!hex.empty())
                    hex += ' ';
                hex += piece;
            }
            if (hex.size() < bytes_column_width)
                hex.resize(bytes_column_width, ' ');
            std::string text = row == 0 ? place : std::string(place_width, ' ');
            text += "  ";
            text += record->first != nullptr ? hex8(address + row * bytes_per_row) : std::string(8, ' ');
            text += "  " + hex;
            if (row == 0)
                text += "  " + std::string(record->text);
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            console_line(text);
        }
    }
}

// Every label and constant, in name order: the tree walked in order.
static void collect_symbols(const t_rb_node* node, std::vector<const t_rb_data*>& out) {
    if (node == nullptr || node == &sentinel_node)
        return;
    collect_symbols(node->left, out);
    out.push_back(&node->data);
    collect_symbols(node->right, out);
}

static void print_symbols() {
    std::vector<const t_rb_data*> symbols;
    collect_symbols(symbol_root, symbols);
    std::size_t name_width = 0;
    for (const t_rb_data* symbol : symbols)
        name_width = std::max(name_width, symbol->name.size());
    console_line("");
    console_line("Symbols:");
    for (const t_rb_data* symbol : symbols) {
        std::string name(symbol->name);
        name.resize(name_width, ' ');
        // A constant's item is the head item, only a mark that it is defined.
        const bool constant = symbol->item == &head_item;
        const int32_t value = constant ? symbol->value : symbol->item->final_address;
        console_line(name + "  " + hex8(value) + (constant ? "  constant  " + std::to_string(value) : "  label"));
    }
}

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);
    listing_enabled = true;
    echo_enabled = false;
    if (!run_assembly(argc > 1 ? argv[1] : "", false)) {
        console_wait_enter();
        return 1;
    }
    print_lines();
    print_symbols();
    console_flush();
    return 0;
}
