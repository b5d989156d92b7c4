// The language server's handling of messages: the lifecycle, the documents the editor opens and
// changes, and when each is assembled again.
#pragma once
#include "tools/orbls/state.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// The deepest arrays and objects may nest in a message.
constexpr std::size_t max_json_depth = 512;

// The longest a change waits for the next one before its document is assembled.
constexpr std::chrono::milliseconds debounce_limit{50};

// Handles one message (its body); the answers and notifications go to server.output. False when
// the body is no JSON: the length that framed it may have been wrong.
bool handle_message(t_server& server, std::string_view body, t_clock::time_point now);
// Answers a header that frames no message, with the reason.
void handle_bad_frame(t_server& server, const std::string& reason);
// Assembles every document due by now and publishes its diagnostics.
void run_due_assemblies(t_server& server, t_clock::time_point now);
// When the next assembly is due, if any is.
std::optional<t_clock::time_point> next_due(const t_server& server);
