// The symbol table: one red-black tree of labels and constants keyed by name.
#pragma once
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "base/base.h"

struct t_item;

// A symbol record. It never moves once entered: term lists point into it.
struct t_rb_data {
    int32_t tag;           // 1 for definitions by the source, 0 for "@endofexe" and own-address terms
    std::string_view name; // the name; labels include their leading "@"
    t_item* item;          // the owning item; nil while the symbol is undefined
    int32_t value;         // a constant's value; unused for labels
};

struct t_rb_node {
    t_rb_node* parent; // the sentinel for the root
    t_rb_node* left;   // the sentinel when absent
    t_rb_node* right;  // the sentinel when absent
    uint8_t colour;    // 1 red, 0 black
    t_rb_data data;    // the symbol record, held inside the node
};

extern t_rb_node* symbol_root;  // nil until the first symbol is entered
extern t_rb_node sentinel_node; // stands for every missing child; never written

// Every definition and use of a name in reading order, kept when wanted (an editor's references).
struct t_symbol_use {
    const t_rb_node* node;
    bool definition;
    t_place place;
};
extern bool symbol_uses_wanted;
extern std::vector<t_symbol_use> symbol_uses;

// -1, 0 or 1 by byte-wise order of the names (unsigned bytes; a prefix orders first).
int32_t compare_names(const t_rb_data& a, const t_rb_data& b);

// Finds record's name or inserts it; a record with an item defines the symbol
// ("Constant or label redeclared" if it already is). Returns the node holding the name.
t_rb_node* enter_symbol(const t_rb_data& record);

// While set, enter_symbol indexes new names at once but leaves them out of the tree until
// build_symbol_tree links them in their order of entry; only the order of the check for undefined
// names and a listing need the tree. reset_symbols clears it.
extern bool symbol_tree_deferred;
void build_symbol_tree();
// True when every name entered so far has a definition.
bool all_symbols_defined();

// Stops the run at the first undefined symbol: in pre-order (node, left, right) for the classic
// report, else the one used first.
void check_defined(const t_rb_node* node);

// Empties the table for a new run.
void reset_symbols();
