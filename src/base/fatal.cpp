// The error throw: the one way any part of the run stops with an error.
#include "base/base.h"

int32_t fault_position = 0;
bool failure_already_reported = false;
bool classic_report = true;
bool warnings_wanted = false;
std::vector<t_diagnostic> diagnostics;
const t_place* fault_place = nullptr;
std::string fault_detail;
std::vector<t_note> fault_notes;
uint32_t warnings_off = 0;

const std::string_view warning_names[warning_count] = {
    "glued-number", "digit", "value-range", "label-text", "single-cut",
    "trailing-text", "missing-operand", "ignored-characters", "number-range",
};

t_warning warning_named(std::string_view name) {
    int32_t k = 0;
    while (k < warning_count && warning_names[k] != name)
        ++k;
    return static_cast<t_warning>(k);
}

void fatal_stop(std::string_view message, std::string_view suffix) {
    throw t_fatal_stop{std::string(message).append(suffix), fault_position};
}
