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
    bool silenced;         // its defining line failed, or its use as an undefined constant was reported:
                           // it raises no more "not defined" errors
    std::string_view name; // the name; labels include their leading "@"
    t_item* item;          // the owning item; nil while the symbol is undefined
    int32_t value;         // a constant's value; unused for labels
};

struct t_rb_node {
    t_rb_node* parent; // the sentinel for the root
    t_rb_node* left;   // the sentinel when absent
    t_rb_node* right;  // the sentinel when absent
    uint8_t colour;    // 1 red, 0 black
    uint32_t definition; // 1 + the index of its first definition's record (a use, or a definition
                         // kept for the notes); 0 for none. It fills what the colour leaves over.
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

// What a line has entered, taken before it: a line in error is taken back to it.
struct t_symbols_mark {
    t_rb_node* last_queued;
    std::size_t uses; // of symbol_uses, when they are wanted
};
extern t_rb_node* last_queued_symbol; // the name entered last while the tree is deferred
inline t_symbols_mark symbols_mark() { return {last_queued_symbol, symbol_uses_wanted ? symbol_uses.size() : 0}; }
// Takes back every name entered and every use recorded since mark. Only while the tree is
// deferred, as it is while the source is read.
void take_back_symbols(const t_symbols_mark& mark);
// Marks name, entering it undefined when it is new, as raising no more "not defined" errors.
void silence_symbol(std::string_view name);
// The names the line in hand leaves undefined if it fails: the name it defines, and an undefined
// constant it reports. Set before the check that may fail; the run clears them.
extern std::string_view name_defined_by_line;
extern std::string_view name_reported_undefined;

// A name used but never defined, at its first use, with the count of diagnostics there were then:
// where its error stands among them in reading order.
struct t_undefined_use {
    const t_rb_node* node;
    const t_place* place;
    std::size_t diagnostics_before;
};
// Every undefined name that is not silenced, in the order of first use (not for the classic report).
std::vector<t_undefined_use> undefined_uses();

// Empties the table for a new run.
void reset_symbols();
