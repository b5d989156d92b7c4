// The error throw: the one way any part of the run stops with an error.
#include "base/base.h"

int32_t fault_position = 0;
bool classic_report = true;
bool warnings_wanted = false;
std::vector<t_diagnostic> diagnostics;
const t_place* fault_place = nullptr;
std::string fault_detail;

void fatal_stop(std::string_view message, std::string_view suffix) {
    throw t_fatal_stop{std::string(message).append(suffix), fault_position};
}
