// The red-black symbol table. Insertion follows one fixed procedure, because the tree's shape
// decides which undefined name check_defined reports first.
#include "driver/driver.h"
#include "symbols/symbols.h"

t_rb_node* symbol_root = nullptr;
t_rb_node sentinel_node{nullptr, nullptr, nullptr, 0, {}};

void reset_symbols() { symbol_root = nullptr; }

int32_t compare_names(const t_rb_data& a, const t_rb_data& b) {
    int result = a.name.compare(b.name); // char_traits<char> compares as unsigned bytes
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

static t_rb_node* new_node(const t_rb_data& record, t_rb_node* parent, uint8_t colour) {
    t_rb_node* node = run_new<t_rb_node>();
    node->parent = parent;
    node->left = &sentinel_node;
    node->right = &sentinel_node;
    node->colour = colour;
    node->data = record;
    node->data.name = run_copy(record.name); // the caller's name may live in the current line
    return node;
}

static void rotate_left(t_rb_node* x) {
    t_rb_node* y = x->right;
    x->right = y->left;
    if (y->left != &sentinel_node)
        y->left->parent = x;
    y->parent = x->parent;
    if (x->parent == &sentinel_node)
        symbol_root = y;
    else if (x == x->parent->left)
        x->parent->left = y;
    else
        x->parent->right = y;
    y->left = x;
    x->parent = y;
}

static void rotate_right(t_rb_node* x) {
    t_rb_node* y = x->left;
    x->left = y->right;
    if (y->right != &sentinel_node)
        y->right->parent = x;
    y->parent = x->parent;
    if (x->parent == &sentinel_node)
        symbol_root = y;
    else if (x == x->parent->right)
        x->parent->right = y;
    else
        x->parent->left = y;
    y->right = x;
    x->parent = y;
}

static constexpr uint8_t black = 0;
static constexpr uint8_t red = 1;

t_rb_node* enter_symbol(const t_rb_data& record) {
    if (symbol_root == nullptr) {
        symbol_root = new_node(record, &sentinel_node, black);
        return symbol_root;
    }
    t_rb_node* node = symbol_root;
    t_rb_node* previous = nullptr;
    int32_t order = 0;
    while (node != &sentinel_node) {
        previous = node;
        order = compare_names(record, node->data);
        if (order == 0) {
            fatal_check(node->data.item == nullptr || record.item == nullptr, "Constant or label redeclared");
            if (record.item != nullptr) {
                std::string_view name = node->data.name;
                node->data = record;
                node->data.name = name;
            }
            return node;
        }
        node = order < 0 ? node->left : node->right;
    }
    t_rb_node* added = new_node(record, previous, red);
    if (order < 0)
        previous->left = added;
    else
        previous->right = added;

    t_rb_node* z = added;
    while (z->parent != &sentinel_node && z->parent->colour == red) {
        t_rb_node* p = z->parent;
        t_rb_node* g = p->parent;
        if (p == g->left) {
            t_rb_node* uncle = g->right;
            if (uncle->colour == red) {
                p->colour = black;
                uncle->colour = black;
                g->colour = red;
                z = g;
            } else {
                if (z == p->right) {
                    z = p;
                    rotate_left(z);
                }
                z->parent->colour = black;
                z->parent->parent->colour = red;
                rotate_right(z->parent->parent);
            }
        } else {
            t_rb_node* uncle = g->left;
            if (uncle->colour == red) {
                p->colour = black;
                uncle->colour = black;
                g->colour = red;
                z = g;
            } else {
                if (z == p->left) {
                    z = p;
                    rotate_right(z);
                }
                z->parent->colour = black;
                z->parent->parent->colour = red;
                rotate_left(z->parent->parent);
            }
        }
    }
    symbol_root->colour = black;
    return added;
}

void check_defined(const t_rb_node* node) {
    if (node == nullptr || node == &sentinel_node)
        return;
    fatal_check(node->data.item != nullptr, "Constant or label not defined - ", node->data.name);
    check_defined(node->left);
    check_defined(node->right);
}
