// Messages of the protocol: requests are answered, notifications change the documents, and an
// assembly is scheduled for every document whose text, or a file it includes, has changed.
#include "tools/orbls/server.h"

#include "tools/orbls/requests.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <tuple>

// JSON-RPC and protocol error codes.
enum : int {
    parse_error = -32700,
    invalid_request = -32600,
    method_not_found = -32601,
    invalid_params = -32602,
    internal_error = -32603,
    server_not_initialized = -32002,
};

static void send(t_server& server, const t_json& message) {
    server.output.push_back(message.dump(-1, ' ', false, t_json::error_handler_t::replace));
}

// The JSON-RPC envelope: an answer to id ("result" or "error"), or a notification (method).
static void send_message(t_server& server, const char* field, const t_json& tag, const char* key, t_json value) {
    send(server, {{"jsonrpc", "2.0"}, {field, tag}, {key, std::move(value)}});
}

static void send_result(t_server& server, const t_json& id, t_json result) {
    send_message(server, "id", id, "result", std::move(result));
}

static void send_error(t_server& server, const t_json& id, int code, const std::string& message) {
    send_message(server, "id", id, "error", {{"code", code}, {"message", message}});
}

static void send_notification(t_server& server, const char* method, t_json params) {
    send_message(server, "method", method, "params", std::move(params));
}

// The settings of the initialization options: { "includePaths": [...], "defines": {...},
// "warnings": {...} }.
// Relative include paths are taken from the base folder, by the reader, as orbasm takes -I.
static t_settings settings_of(const t_json& options, const std::string& base) {
    t_settings settings;
    settings.base = base;
    while (settings.base.size() > 1 && settings.base.back() == '/')
        settings.base.pop_back();
    if (!options.is_object())
        return settings;
    if (const auto paths = options.find("includePaths"); paths != options.end() && paths->is_array())
        for (const t_json& path : *paths)
            if (path.is_string() && !path.get<std::string>().empty())
                settings.include_paths.push_back(path.get<std::string>());
    if (const auto defines = options.find("defines"); defines != options.end() && defines->is_object())
        for (const auto& [name, value] : defines->items()) {
            std::string text;
            if (value.is_string())
                text = value.get<std::string>();
            else if (value.is_boolean())
                text = std::string(value.get<bool>() ? "1" : "0");
            else if (value.is_number())
                text = value.dump();
            else
                continue;
            settings.defines.push_back(name + "=" + text);
        }
    // { "NAME": false } turns a warning off, as -Wno-NAME does; an unknown name is passed over.
    if (const auto warnings = options.find("warnings"); warnings != options.end() && warnings->is_object())
        for (const auto& [name, value] : warnings->items())
            if (const t_warning warning = warning_named(name); warning < warning_count && value.is_boolean())
                settings.disabled_warnings = value.get<bool>() ? settings.disabled_warnings & ~(1u << warning)
                                                          : settings.disabled_warnings | 1u << warning;
    return settings;
}

// The workspace root of the initialize request: its first workspace folder, else rootUri, else
// rootPath; "" for none.
static std::string root_of(const t_json& params) {
    if (const auto folders = params.find("workspaceFolders"); folders != params.end() && folders->is_array() &&
                                                              !folders->empty() && (*folders)[0].is_object())
        if (const auto uri = (*folders)[0].find("uri"); uri != (*folders)[0].end() && uri->is_string())
            return uri_to_path(uri->get<std::string>());
    if (const auto uri = params.find("rootUri"); uri != params.end() && uri->is_string())
        return uri_to_path(uri->get<std::string>());
    if (const auto path = params.find("rootPath"); path != params.end() && path->is_string())
        return normal_path(path->get<std::string>());
    return "";
}

static void log_message(t_server& server, const std::string& message) {
    send_notification(server, "window/logMessage", {{"type", 2}, {"message", message}});
}

static t_json initialize_result(t_server& server, const t_json& params) {
    // Include names are taken from the workspace root, as orbasm run there takes them from its
    // working directory; without a root, from the server's own working directory.
    server.settings = settings_of(params.value("initializationOptions", t_json()), root_of(params));
    server.initialized = true;
    const t_json capabilities = {
        {"positionEncoding", "utf-16"},
        {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
        {"hoverProvider", true},
        {"definitionProvider", true},
        {"referencesProvider", true},
        {"documentSymbolProvider", true},
        {"workspaceSymbolProvider", true},
        {"completionProvider", {{"triggerCharacters", {"@", "#"}}}},
    };
    return {{"capabilities", capabilities}, {"serverInfo", {{"name", "orbls"}, {"version", "1.0"}}}};
}

// Marks the document of path, and every open document whose latest run read path, to be
// assembled at the given time (or later, when one is already due later).
static void schedule(t_server& server, const std::string& path, t_clock::time_point at) {
    for (auto& [other_path, run] : server.runs) {
        const std::vector<std::string>& read = run.assembly.files_read;
        if (other_path != path && std::find(read.begin(), read.end(), path) == read.end())
            continue;
        run.due_at = run.due ? std::max(run.due_at, at) : at;
        run.due = true;
    }
}

static void schedule_all(t_server& server, t_clock::time_point at) {
    for (auto& [path, run] : server.runs) {
        run.due_at = run.due ? std::max(run.due_at, at) : at;
        run.due = true;
    }
}

static void did_open(t_server& server, const t_json& params, t_clock::time_point now) {
    const t_json& item = params.at("textDocument");
    const std::string uri = item.at("uri").get<std::string>();
    const t_document& document =
        open_document(server.store, uri, item.value("version", int64_t(0)), item.at("text").get<std::string>());
    server.runs[document.path];
    schedule(server, document.path, now);
}

// One change of a didChange, checked before any is applied.
struct t_change {
    bool ranged;
    t_position start;
    t_position end;
    const std::string* text;
};

// The changes of a didChange, or the reason why they cannot all be applied.
static std::string changes_of(const t_json& params, std::vector<t_change>& changes) {
    const auto list = params.find("contentChanges");
    if (list == params.end() || !list->is_array())
        return "it has no list of changes";
    for (const t_json& change : *list) {
        const std::string number = "change " + std::to_string(changes.size() + 1);
        const auto text = change.is_object() ? change.find("text") : change.end();
        if (!change.is_object() || text == change.end() || !text->is_string())
            return number + " has no text";
        t_change checked{false, {0, 0}, {0, 0}, &text->get_ref<const std::string&>()};
        if (const auto range = change.find("range"); range != change.end() && !range->is_null()) {
            checked.ranged = range->is_object() && range->contains("start") && range->contains("end") &&
                             position_of((*range)["start"], checked.start) &&
                             position_of((*range)["end"], checked.end);
            if (!checked.ranged)
                return number + " has no valid range";
            if (std::tie(checked.end.line, checked.end.character) < std::tie(checked.start.line, checked.start.character))
                return number + " ends before it starts";
        }
        changes.push_back(checked);
    }
    return "";
}

static void did_change(t_server& server, const t_json& params, t_clock::time_point now) {
    const t_json& item = params.at("textDocument");
    t_document* document = find_document(server.store, item.at("uri").get<std::string>());
    if (document == nullptr)
        return;
    // All changes or none: a list the text does not fit is logged and the version kept.
    std::vector<t_change> changes;
    std::string fault = changes_of(params, changes);
    const auto version = item.find("version");
    if (fault.empty() && version != item.end() && !version->is_null() && !version->is_number_integer())
        fault = "its version is no number";
    if (!fault.empty()) {
        log_message(server, "orbls: a change of " + item.at("uri").get<std::string>() + " was not applied: " + fault);
        return;
    }
    for (const t_change& change : changes)
        change_document(server.store, *document, change.ranged ? &change.start : nullptr,
                        change.ranged ? &change.end : nullptr, *change.text);
    if (version != item.end() && version->is_number_integer())
        document->version = version->get<int64_t>();
    // A change after a pause is assembled at once (once the messages already sent are read). One
    // that follows another within the debounce limit is part of a burst of typing: it waits for
    // the burst to pause, for as long as the last run took (a short program hardly waits), and
    // never longer than the limit.
    t_document_run& run = server.runs[document->path];
    const auto last_run = std::chrono::duration_cast<t_clock::duration>(
        std::chrono::duration<double, std::milli>(run.assembly.milliseconds));
    const bool burst = now - run.changed < debounce_limit;
    run.changed = now;
    schedule(server, document->path,
             burst ? now + std::min<t_clock::duration>(last_run, debounce_limit) : now);
}

static void did_close(t_server& server, const t_json& params, t_clock::time_point now) {
    const t_document* document = find_document(server.store, params.at("textDocument").at("uri").get<std::string>());
    if (document == nullptr)
        return;
    const std::string path = document->path;
    const std::string uri = params.at("textDocument").at("uri").get<std::string>();
    if (close_document(server.store, path, uri)) {
        server.runs.erase(path);
        release_memory();
    }
    // The documents that included it read the file from disk now; one still open under another
    // name has its diagnostics sent there.
    schedule(server, path, now);
    send_notification(server, "textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", t_json::array()}});
}

void run_due_assemblies(t_server& server, t_clock::time_point now) {
    for (auto& [path, run] : server.runs) {
        if (!run.due || run.due_at > now)
            continue;
        const t_document* document = &server.store.by_path.find(path)->second;
        run.due = false;
        run.assembly = assemble(document->path, server.settings, server.store.texts);
        send_notification(server, "textDocument/publishDiagnostics", diagnostics_params(server, *document));
    }
}

std::optional<t_clock::time_point> next_due(const t_server& server) {
    std::optional<t_clock::time_point> first;
    for (const auto& [path, run] : server.runs)
        if (run.due && (!first || run.due_at < *first))
            first = run.due_at;
    return first;
}

// A request's answer; method_not_found when the method is none of the server's.
static bool answer_request(t_server& server, const std::string& method, const t_json& id, const t_json& params) {
    if (method == "shutdown") {
        server.shutdown_requested = true;
        send_result(server, id, nullptr);
        return true;
    }
    t_json (*const answer)(const t_server&, const t_json&) =
        method == "textDocument/hover"            ? hover_result
        : method == "textDocument/definition"     ? definition_result
        : method == "textDocument/references"     ? references_result
        : method == "textDocument/documentSymbol" ? document_symbol_result
        : method == "workspace/symbol"            ? workspace_symbol_result
        : method == "textDocument/completion"     ? completion_result
                                                  : nullptr;
    if (answer == nullptr)
        return false;
    // A request sees the documents as they are: what is waiting for the debounce runs first.
    run_due_assemblies(server, t_clock::time_point::max());
    send_result(server, id, answer(server, params));
    return true;
}

static void take_notification(t_server& server, const std::string& method, const t_json& params,
                              t_clock::time_point now) {
    if (method == "textDocument/didOpen")
        did_open(server, params, now);
    else if (method == "textDocument/didChange")
        did_change(server, params, now);
    else if (method == "textDocument/didClose")
        did_close(server, params, now);
    else if (method == "textDocument/didSave" || method == "workspace/didChangeWatchedFiles")
        schedule_all(server, now); // files on disk that open documents include may have changed
    // Everything else ("initialized", "$/cancelRequest", settings) needs nothing.
}

// A message that is valid JSON: a request, a notification or a response to ignore.
static void dispatch(t_server& server, const t_json& message, t_clock::time_point now) {
    if (!message.is_object()) {
        send_error(server, nullptr, invalid_request, "a message must be a JSON object");
        return;
    }
    const auto id_field = message.find("id");
    const bool has_id = id_field != message.end();
    if (has_id && !id_field->is_string() && !id_field->is_number_integer() && !id_field->is_null()) {
        send_error(server, nullptr, invalid_request, "the id must be a number or a string");
        return;
    }
    const t_json id = has_id ? *id_field : t_json();
    const auto method_field = message.find("method");
    if (method_field == message.end()) {
        if (!has_id || (message.find("result") == message.end() && message.find("error") == message.end()))
            send_error(server, id, invalid_request, "a message needs a method");
        return; // an answer to a request of ours: the server sends none
    }
    if (!method_field->is_string() || message.value("jsonrpc", t_json()) != "2.0") {
        send_error(server, id, invalid_request, "not a JSON-RPC 2.0 request");
        return;
    }
    const std::string method = method_field->get<std::string>();
    // Exit takes no params: whatever stands there, it ends the server.
    if (method == "exit") {
        server.exit_requested = true;
        server.exit_code = server.shutdown_requested ? 0 : 1;
        return;
    }
    // Params null or left out are the same: several clients send null with shutdown and exit.
    static const t_json no_params = t_json::object();
    const auto params_field = message.find("params");
    const t_json& params = params_field == message.end() || params_field->is_null() ? no_params : *params_field;
    if (!params.is_object() && !params.is_array()) {
        if (has_id)
            send_error(server, id, invalid_params, "params must be an object or an array");
        return;
    }
    if (method == "initialize") {
        if (!has_id)
            return;
        if (server.initialized)
            send_error(server, id, invalid_request, "the server is already initialized");
        else
            send_result(server, id, initialize_result(server, params.is_object() ? params : t_json::object()));
        return;
    }
    if (!server.initialized || server.shutdown_requested) {
        if (has_id)
            send_error(server, id, server.initialized ? invalid_request : server_not_initialized,
                       server.initialized ? "the server is shutting down" : "the server is not initialized");
        return;
    }
    if (!has_id) {
        take_notification(server, method, params, now);
        return;
    }
    if (!answer_request(server, method, id, params))
        send_error(server, id, method_not_found, "unknown method " + method);
}

// Whether the body's arrays and objects nest at most max_json_depth deep: deeper ones are refused
// before they are parsed, since parsing, copying and freeing them all recurse.
static bool nesting_within_limit(std::string_view body) {
    std::size_t depth = 0;
    bool in_string = false;
    for (std::size_t k = 0; k < body.size(); ++k) {
        const char c = body[k];
        if (in_string) {
            if (c == '\\')
                ++k;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > max_json_depth)
                return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

bool handle_message(t_server& server, std::string_view body, t_clock::time_point now) {
    if (!nesting_within_limit(body)) {
        send_error(server, nullptr, parse_error,
                   "a message nests arrays and objects deeper than " + std::to_string(max_json_depth) + " levels");
        return true;
    }
    t_json id;
    bool request = false;
    try {
        const t_json message = t_json::parse(body);
        if (message.is_object() && message.contains("method")) {
            request = message.contains("id");
            id = message.value("id", t_json());
            if (!id.is_string() && !id.is_number_integer())
                id = nullptr;
        }
        dispatch(server, message, now);
    } catch (const t_json::parse_error& error) {
        send_error(server, nullptr, parse_error, std::string("parse error: ") + error.what());
        return false;
    } catch (const t_json::exception& error) {
        // A field of the wrong type or missing: the parameters do not fit the method.
        if (request)
            send_error(server, id, invalid_params, std::string("invalid parameters: ") + error.what());
    } catch (const std::bad_alloc&) {
        if (request)
            send_error(server, id, internal_error, "out of memory");
    } catch (const std::exception& error) {
        // What went wrong inside is the server's own: the log gets it, the client a fixed answer.
        std::fprintf(stderr, "orbls: %s\n", error.what());
        if (request)
            send_error(server, id, internal_error, "the server could not answer this request");
    }
    return true;
}

void handle_bad_frame(t_server& server, const std::string& reason) {
    send_error(server, nullptr, parse_error, reason);
}
