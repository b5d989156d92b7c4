// The language server's state and its handling of messages: the lifecycle, the documents the
// editor opens and changes, and when each is assembled again.
#pragma once
#include "tools/orbls/assembly.h"
#include "tools/orbls/documents.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using t_clock = std::chrono::steady_clock;

// The latest assembly of an open document, and whether it must run again.
struct t_document_run {
    t_assembly assembly;
    bool due = false;            // the text it read has changed
    t_clock::time_point due_at;  // when to run: after the debounce
    t_clock::time_point changed; // when the editor last changed the document
};

struct t_server {
    t_document_store store;
    std::map<std::string, t_document_run> runs; // by path, for every open document
    t_settings settings;
    bool initialized = false;
    bool shutdown_requested = false;
    bool exit_requested = false;
    int exit_code = 0;                // once exit_requested: 0 after a shutdown request, else 1
    std::vector<std::string> output;  // messages to send, in order
};

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

// The assemblies that know a document, best first: its own when it succeeded, then those of open
// documents that include it and succeeded, then its own and the others that failed.
std::vector<const t_assembly*> assemblies_for(const t_server& server, const t_document& document);
// The URI of a path: the editor's own for an open document.
std::string uri_of_path(const t_server& server, const std::string& path);
