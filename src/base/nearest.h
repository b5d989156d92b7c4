// The nearest known word to a misspelt one, for the notes that follow an error.
#pragma once
#include "base/base.h"

#include <string_view>
#include <vector>

// Notes for a line that no stage recognises: its first word, and the nearest mnemonic (or
// directive) when one is near.
std::vector<t_note> mnemonic_notes(std::string_view line);
// A note for an undefined name one edit from a register's name; none otherwise.
std::vector<t_note> register_notes(std::string_view name);
