// The requests about the program: hover, definition, references, symbols and completion. Each
// takes the request's parameters and returns its result (null or empty when there is nothing).
#pragma once
#include "tools/orbls/state.h"

#include <nlohmann/json.hpp>

using t_json = nlohmann::json;

// A number of a position, whole and clamped to 0..INT64_MAX (2^64 is past the end, never the
// start); -1 for a negative one. A value that is no number throws.
int64_t position_number(const t_json& number);
// A position's line and character; false when either is missing, negative or no number.
bool position_of(const t_json& position, t_position& out);

t_json hover_result(const t_server& server, const t_json& params);
t_json definition_result(const t_server& server, const t_json& params);
t_json references_result(const t_server& server, const t_json& params);
t_json document_symbol_result(const t_server& server, const t_json& params);
t_json workspace_symbol_result(const t_server& server, const t_json& params);
t_json completion_result(const t_server& server, const t_json& params);
// The publishDiagnostics parameters of an open document from its latest assembly.
t_json diagnostics_params(const t_server& server, const t_document& document);
