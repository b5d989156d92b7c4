// The red-black symbol table. Insertion follows one fixed procedure, because the tree's shape
// decides which undefined name check_defined reports first.
#include "base/base.h"
#include "base/nearest.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <cstring>
#include <vector>

t_rb_node* symbol_root = nullptr;
t_rb_node sentinel_node{nullptr, nullptr, nullptr, 0, 0, {}};
// Where names were first used before their definition, in reading order; kept unless the report
// is the classic one.
struct t_first_use {
    t_rb_node* node;
    t_place place;
    std::size_t diagnostics_before;
};
static std::vector<t_first_use> first_uses;
std::string_view name_defined_by_line;
std::string_view name_reported_undefined;
bool symbol_uses_wanted = false;
std::vector<t_symbol_use> symbol_uses;
// Where each name was defined, for the note on a redeclaration; kept unless the report is the
// classic one or the uses are kept (they hold the definitions too). A file's path is copied once
// for the definitions that follow in it.
struct t_definition {
    const t_rb_node* node;
    std::string_view path;
    int32_t physical_line;
    int32_t column;
    int32_t length;
};
static std::vector<t_definition> definitions;

// A hash index beside the tree finds every name without a descent: open addressing over the
// nodes, at most half full, its size a power of two.
static std::vector<t_rb_node*> name_index(64, nullptr);
static std::size_t indexed_names = 0;

// During a run the tree is built only when somebody needs it: every name is entered in the
// index at once and queued, in the order of entry, through its parent link.
bool symbol_tree_deferred = false;
static t_rb_node* first_queued = nullptr;
t_rb_node* last_queued_symbol = nullptr;
static int32_t undefined_count = 0;

// The slot where name's search begins.
static std::size_t home_slot(std::string_view name) {
    uint64_t hash = 14695981039346656037u;
    for (char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    return static_cast<std::size_t>(hash) & (name_index.size() - 1);
}

// The index slot of name: the slot holding its node, or the empty slot where it belongs.
static std::size_t index_slot(std::string_view name) {
    const std::size_t mask = name_index.size() - 1;
    std::size_t slot = home_slot(name);
    while (name_index[slot] != nullptr && name_index[slot]->data.name != name)
        slot = (slot + 1) & mask;
    return slot;
}

static void index_node(t_rb_node* node) {
    if (2 * (indexed_names + 1) > name_index.size()) {
        std::vector<t_rb_node*> old(2 * name_index.size(), nullptr);
        old.swap(name_index);
        for (t_rb_node* indexed : old)
            if (indexed != nullptr)
                name_index[index_slot(indexed->data.name)] = indexed;
    }
    name_index[index_slot(node->data.name)] = node;
    ++indexed_names;
}

// Takes node out of the index; the nodes after it in its run move back so that every search
// still meets its node before an empty slot.
static void unindex_node(const t_rb_node* node) {
    const std::size_t mask = name_index.size() - 1;
    std::size_t hole = index_slot(node->data.name);
    name_index[hole] = nullptr;
    --indexed_names;
    for (std::size_t slot = (hole + 1) & mask; name_index[slot] != nullptr; slot = (slot + 1) & mask) {
        const std::size_t home = home_slot(name_index[slot]->data.name);
        if (((slot - home) & mask) >= ((slot - hole) & mask)) {
            name_index[hole] = name_index[slot];
            name_index[slot] = nullptr;
            hole = slot;
        }
    }
}

void reset_symbols() {
    symbol_root = nullptr;
    name_index.assign(64, nullptr);
    indexed_names = 0;
    symbol_tree_deferred = false;
    first_queued = last_queued_symbol = nullptr;
    undefined_count = 0;
    first_uses.clear();
    name_defined_by_line = name_reported_undefined = {};
    symbol_uses.clear();
    definitions.clear();
}

// Characters compare as unsigned bytes, and a prefix orders first.
int32_t compare_names(const t_rb_data& a, const t_rb_data& b) {
    const int order = a.name.compare(b.name);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

// A node with its name right behind it: a lookup that finds the node finds the name in the
// same cache line.
static t_rb_node* new_node(const t_rb_data& record) {
    auto* node = static_cast<t_rb_node*>(run_alloc(sizeof(t_rb_node) + record.name.size()));
    char* name = reinterpret_cast<char*>(node + 1);
    if (!record.name.empty())
        std::memcpy(name, record.name.data(), record.name.size());
    node->left = &sentinel_node;
    node->right = &sentinel_node;
    node->data = record;
    node->data.name = std::string_view(name, record.name.size()); // the caller's name may live in the current line
    return node;
}

static t_rb_node*& child(t_rb_node* node, bool right) { return right ? node->right : node->left; }

// Rotates x down towards the given side; its child on the other side takes its place.
static void rotate(t_rb_node* x, bool right) {
    t_rb_node* y = child(x, !right);
    child(x, !right) = child(y, right);
    if (child(y, right) != &sentinel_node)
        child(y, right)->parent = x;
    y->parent = x->parent;
    if (x->parent == &sentinel_node)
        symbol_root = y;
    else
        child(x->parent, x == x->parent->right) = y;
    child(y, right) = x;
    x->parent = y;
}

static constexpr uint8_t black = 0;
static constexpr uint8_t red = 1;

static void remember_definition(t_rb_node* node) {
    if (current_line.data() == end_of_mem_text.data() || current_line.data() == end_of_program_text.data())
        return; // entered by the run itself, at no line
    const t_source& source = include_stack[nesting_depth];
    // The file read is the same as at the last definition while the depth and the files opened are
    // (the definitions of the command line and standard input, which is not counted, differ in
    // their names' lengths).
    static std::string_view path;
    static std::pair<int32_t, std::size_t> path_read_at{0, 0};
    if (definitions.empty() || path_read_at != std::pair(nesting_depth, files_read.size()) ||
        path.size() != source.path.size()) {
        path = run_copy(source.path);
        path_read_at = {nesting_depth, files_read.size()};
    }
    // A label stands first on its line; a constant's name is found in the line as written.
    const std::string_view text = source.written.substr(static_cast<std::size_t>(source.indent));
    const int32_t offset =
        fault_position == 1 && !text.empty() && text[0] == '@' ? 0 : written_span(text, fault_position).offset;
    definitions.push_back({node, path, source.physical_line, source.indent + offset + 1,
                           static_cast<int32_t>(node->data.name.size())});
    node->definition = static_cast<uint32_t>(definitions.size());
}

// "first defined here", at the definition of node: its record, found at once.
static std::vector<t_note> first_definition_notes(const t_rb_node* node) {
    const std::size_t k = node->definition;
    if (symbol_uses_wanted) {
        if (k >= 1 && k <= symbol_uses.size() && symbol_uses[k - 1].node == node && symbol_uses[k - 1].definition)
            return {{"first defined here", symbol_uses[k - 1].place}};
    } else if (k >= 1 && k <= definitions.size() && definitions[k - 1].node == node) {
        const t_definition& definition = definitions[k - 1];
        t_place place;
        place.file = definition.path;
        place.line = definition.physical_line;
        place.column = definition.column;
        place.length = definition.length;
        return {{"first defined here", place}};
    }
    return {};
}

// A name already in the table: a definition fills its record, a lookup changes nothing.
static t_rb_node* enter_existing(t_rb_node* node, const t_rb_data& record) {
    if (node->data.item != nullptr && record.item != nullptr && !classic_report) [[unlikely]]
        fault_notes = first_definition_notes(node);
    fatal_check(node->data.item == nullptr || record.item == nullptr, "Constant or label redeclared");
    if (record.item != nullptr) {
        if (node->data.item == nullptr)
            --undefined_count;
        std::string_view name = node->data.name;
        node->data = record;
        node->data.name = name;
    }
    return node;
}

// Links a new node into the tree and restores the red-black properties.
static void insert_node(t_rb_node* added) {
    added->left = &sentinel_node;
    added->right = &sentinel_node;
    if (symbol_root == nullptr) {
        added->parent = &sentinel_node;
        added->colour = black;
        symbol_root = added;
        return;
    }
    t_rb_node* node = symbol_root;
    t_rb_node* previous = nullptr;
    int32_t order = 0;
    while (node != &sentinel_node) {
        previous = node;
        order = compare_names(added->data, node->data);
        node = order < 0 ? node->left : node->right;
    }
    added->parent = previous;
    added->colour = red;
    if (order < 0)
        previous->left = added;
    else
        previous->right = added;

    // The sentinel above the root is black, which ends the climb.
    t_rb_node* z = added;
    while (z->parent->colour == red) {
        t_rb_node* p = z->parent;
        t_rb_node* g = p->parent;
        const bool side = p == g->right; // the parent's side below the grandparent; the uncle is on the other
        t_rb_node* uncle = child(g, !side);
        if (uncle->colour == red) {
            p->colour = uncle->colour = black;
            g->colour = red;
            z = g;
            continue;
        }
        if (z == child(p, !side)) {
            z = p;
            rotate(z, side);
        }
        z->parent->colour = black;
        z->parent->parent->colour = red;
        rotate(z->parent->parent, !side);
    }
    symbol_root->colour = black;
}

t_rb_node* enter_symbol(const t_rb_data& record) {
    const std::size_t slot = index_slot(record.name);
    t_rb_node* const known = name_index[slot];
    if (symbol_uses_wanted) {
        symbol_uses.push_back({known, record.item != nullptr, current_place()});
        if (known != nullptr && known->data.item == nullptr && record.item != nullptr)
            known->definition = static_cast<uint32_t>(symbol_uses.size());
    }
    const bool remembered = record.item != nullptr && !classic_report && !symbol_uses_wanted;
    if (known != nullptr) {
        enter_existing(known, record);
        if (remembered)
            remember_definition(known);
        return known;
    }
    t_rb_node* added = new_node(record);
    if (remembered)
        remember_definition(added);
    if (symbol_uses_wanted) {
        symbol_uses.back().node = added;
        if (record.item != nullptr)
            added->definition = static_cast<uint32_t>(symbol_uses.size());
    }
    index_node(added);
    if (record.item == nullptr) {
        ++undefined_count;
        if (!classic_report) // the place is worked out once when the uses are kept too
            first_uses.push_back(
                {added, symbol_uses_wanted ? symbol_uses.back().place : current_place(), diagnostics.size()});
    }
    if (!symbol_tree_deferred) {
        insert_node(added);
        return added;
    }
    added->parent = nullptr; // the end of the queue
    if (last_queued_symbol == nullptr)
        first_queued = added;
    else
        last_queued_symbol->parent = added;
    last_queued_symbol = added;
    return added;
}

void build_symbol_tree() {
    for (t_rb_node* node = first_queued; node != nullptr;) {
        t_rb_node* next = node->parent;
        insert_node(node);
        node = next;
    }
    first_queued = last_queued_symbol = nullptr;
}

bool all_symbols_defined() { return undefined_count == 0; }

// The classic report's order: the tree in pre-order.
static void check_defined_in_tree(const t_rb_node* node) {
    if (node == nullptr || node == &sentinel_node)
        return;
    fatal_check(node->data.item != nullptr, "Constant or label not defined - ", node->data.name);
    check_defined_in_tree(node->left);
    check_defined_in_tree(node->right);
}

void check_defined(const t_rb_node* node) {
    // The uses are walked once, not at every node: a listing builds the tree of a program with
    // tens of thousands of names.
    if (!classic_report) {
        for (const auto& [used, place, before] : first_uses) {
            fault_place = &place;
            if (used->data.item == nullptr)
                fault_notes = register_notes(used->data.name);
            fatal_check(used->data.item != nullptr, "Constant or label not defined - ", used->data.name);
        }
        fault_place = nullptr;
    }
    check_defined_in_tree(node);
}

void take_back_symbols(const t_symbols_mark& mark) {
    for (t_rb_node* node = mark.last_queued == nullptr ? first_queued : mark.last_queued->parent; node != nullptr;
         node = node->parent) {
        unindex_node(node);
        if (node->data.item == nullptr)
            --undefined_count;
    }
    last_queued_symbol = mark.last_queued;
    (last_queued_symbol == nullptr ? first_queued : last_queued_symbol->parent) = nullptr;
    // Only a new name has a first use: those of the names taken back are the last ones.
    while (!first_uses.empty() && name_index[index_slot(first_uses.back().node->data.name)] != first_uses.back().node)
        first_uses.pop_back();
    if (symbol_uses_wanted)
        symbol_uses.erase(symbol_uses.begin() + static_cast<std::ptrdiff_t>(mark.uses), symbol_uses.end());
}

void silence_symbol(std::string_view name) {
    // Entered as a use that is not recorded as one.
    const t_symbols_mark mark = symbols_mark();
    const std::size_t uses = first_uses.size();
    t_rb_data record{};
    record.name = name;
    t_rb_node* node = enter_symbol(record);
    first_uses.erase(first_uses.begin() + static_cast<std::ptrdiff_t>(uses), first_uses.end());
    if (symbol_uses_wanted)
        symbol_uses.erase(symbol_uses.begin() + static_cast<std::ptrdiff_t>(mark.uses), symbol_uses.end());
    node->data.silenced = true;
}

std::vector<t_undefined_use> undefined_uses() {
    std::vector<t_undefined_use> uses;
    for (const t_first_use& use : first_uses)
        if (use.node->data.item == nullptr && !use.node->data.silenced)
            uses.push_back({use.node, &use.place, use.diagnostics_before});
    return uses;
}
