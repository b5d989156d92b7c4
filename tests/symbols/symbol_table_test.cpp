// The red-black symbol table: tree shapes after insertion orders worked out by hand.
#include "driver/driver.h"
#include "image/image.h"
#include "support/in_process.h"
#include "symbols/symbols.h"

#include <gtest/gtest.h>

#include <set>

namespace {
void fresh_table() {
    release_run_memory();
    reset_symbols();
    reset_items();
}

t_rb_node* enter(const std::string& name, t_item* item = nullptr) {
    t_rb_data record{};
    record.name = name;
    record.item = item;
    record.tag = item != nullptr ? 1 : 0;
    return enter_symbol(record);
}

// The tree in pre-order, each node as name and colour ("b" red is "b*"), absent children "-".
std::string shape(const t_rb_node* node) {
    if (node == &sentinel_node)
        return "-";
    std::string text = std::string(node->data.name) + (node->colour == 1 ? "*" : "");
    if (node->left == &sentinel_node && node->right == &sentinel_node)
        return text;
    return text + "(" + shape(node->left) + " " + shape(node->right) + ")";
}

// Checks parent links and the red-black properties; returns the black height.
int check_tree(const t_rb_node* node, const t_rb_node* parent) {
    if (node == &sentinel_node)
        return 1;
    EXPECT_EQ(node->parent, parent) << node->data.name;
    if (node->colour == 1) {
        EXPECT_NE(node->left->colour, 1) << node->data.name;
        EXPECT_NE(node->right->colour, 1) << node->data.name;
    }
    int left = check_tree(node->left, node);
    int right = check_tree(node->right, node);
    EXPECT_EQ(left, right) << node->data.name;
    return left + (node->colour == 0 ? 1 : 0);
}

std::string first_undefined() { return stop_message([] { check_defined(symbol_root); }); }
} // namespace

TEST(SymbolTable, ShapesAfterInsertionOrders) {
    const std::pair<std::vector<std::string>, std::string> orders[] = {
        {{"a"}, "a"},
        {{"a", "b", "c"}, "b(a* c*)"},
        {{"c", "b", "a"}, "b(a* c*)"},
        {{"a", "c", "b"}, "b(a* c*)"},
        {{"c", "a", "b"}, "b(a* c*)"},
        {{"a", "b", "c", "d"}, "b(a c(- d*))"},
        {{"a", "b", "c", "d", "e"}, "b(a d(c* e*))"},
        {{"a", "b", "c", "d", "e", "f"}, "b(a d*(c e(- f*)))"},
        {{"a", "b", "c", "d", "e", "f", "g"}, "b(a d*(c f(e* g*)))"},
        {{"a", "b", "c", "d", "e", "f", "g", "h"}, "d(b*(a c) f*(e g(- h*)))"},
        {{"m", "d", "t", "b", "f", "a"}, "m(d*(b(a* -) f) t)"},
        {{"@b", "@a", "Z", "a", "@ab"}, "@b(@a(- @ab*) Z(- a*))"},
    };
    for (const auto& [names, expected] : orders) {
        fresh_table();
        for (const std::string& name : names)
            enter(name);
        EXPECT_EQ(shape(symbol_root), expected);
        check_tree(symbol_root, &sentinel_node);
    }
}

TEST(SymbolTable, ManyInsertionsKeepTheProperties) {
    fresh_table();
    uint32_t seed = 12345;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 1103515245u + 12345u;
        std::string name = "n";
        name += std::to_string(seed % 100000);
        enter(name);
    }
    check_tree(symbol_root, &sentinel_node);
    EXPECT_EQ(symbol_root->colour, 0);
}

TEST(SymbolTable, LookupThenDefinitionFillsTheSameRecord) {
    fresh_table();
    t_rb_node* used = enter("@x");
    t_rb_data* record = &used->data;
    EXPECT_EQ(record->item, nullptr);
    EXPECT_EQ(enter("@x"), used) << "a second lookup makes no second entry";
    enter("@a");
    enter("@z");
    enter("@m");
    t_item owner{};
    EXPECT_EQ(enter("@x", &owner), used);
    EXPECT_EQ(record->item, &owner) << "records never move: term lists see the definition";
    EXPECT_EQ(enter("@x"), used);
    EXPECT_EQ(record->item, &owner) << "a lookup changes nothing";
}

TEST(SymbolTable, RedeclarationStops) {
    fresh_table();
    t_item owner{};
    enter("size", &head_item);
    EXPECT_EQ(stop_message([&] { enter("size", &owner); }), "Constant or label redeclared");
}

TEST(SymbolTable, NamesCompareAsUnsignedBytes) {
    auto order = [](std::string a, std::string b) {
        t_rb_data x{}, y{};
        x.name = a;
        y.name = b;
        return compare_names(x, y);
    };
    EXPECT_EQ(order("@a", "@ab"), -1);
    EXPECT_EQ(order("Z", "a"), -1);
    EXPECT_EQ(order("a", "Z"), 1);
    EXPECT_EQ(order("size", "size"), 0);
    EXPECT_EQ(order("a\x80", "a\x7f"), 1);
    EXPECT_EQ(order("", "a"), -1);
}

TEST(SymbolTable, FirstUndefinedInPreOrder) {
    fresh_table();
    enter("a");
    enter("b");
    enter("c");
    EXPECT_EQ(first_undefined(), "Constant or label not defined - b");

    fresh_table();
    t_item owner{};
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h"})
        enter(name);
    // d(b(a c) f(e g(- h))): define d, b, a; the next in pre-order is c.
    for (const char* name : {"d", "b", "a"})
        enter(name, &owner);
    EXPECT_EQ(first_undefined(), "Constant or label not defined - c");
    for (const char* name : {"c", "f", "e", "g"})
        enter(name, &owner);
    EXPECT_EQ(first_undefined(), "Constant or label not defined - h");
    enter("h", &owner);
    EXPECT_EQ(first_undefined(), "");
}

// A run builds the tree only at its end: linked in the order of entry, it has the shape that
// entering the names one by one gives, and the same first undefined name.
TEST(SymbolTable, DeferredTreeHasTheShapeOfEagerInsertion) {
    t_item owner{};
    for (uint32_t seed : {1u, 77u, 4242u}) {
        std::vector<std::pair<std::string, bool>> entries;
        for (int i = 0; i < 3000; ++i) {
            seed = seed * 1103515245u + 12345u;
            entries.emplace_back("@L" + std::to_string(seed % 900), (seed >> 20) % 3 != 0);
        }
        std::string shapes[2];
        std::string reports[2];
        bool defined[2] = {};
        for (int deferred = 0; deferred < 2; ++deferred) {
            fresh_table();
            symbol_tree_deferred = deferred == 1;
            std::set<std::string> done; // a name is defined once at most
            for (const auto& [name, define] : entries)
                enter(name, define && done.insert(name).second ? &owner : nullptr);
            if (deferred == 1) {
                EXPECT_EQ(symbol_root, nullptr);
                build_symbol_tree();
            }
            shapes[deferred] = shape(symbol_root);
            check_tree(symbol_root, &sentinel_node);
            reports[deferred] = first_undefined();
            defined[deferred] = all_symbols_defined();
        }
        EXPECT_EQ(shapes[1], shapes[0]);
        EXPECT_EQ(reports[1], reports[0]);
        EXPECT_EQ(defined[1], defined[0]);
        EXPECT_EQ(defined[0], reports[0].empty());
    }
    reset_symbols();
}
