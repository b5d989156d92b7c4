// Messages of the protocol: requests are answered, notifications change the documents, and an
// assembly is scheduled for every document whose text, or a file it includes, has changed.
#include "tools/orbls/server.h"

#include "tools/orbls/requests.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <unistd.h>

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

static void send_result(t_server& server, const t_json& id, t_json result) {
    send(server, {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

static void send_error(t_server& server, const t_json& id, int code, const std::string& message) {
    send(server, {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

std::string uri_of_path(const t_server& server, const std::string& path) {
    for (const auto& [uri, document] : server.store.by_uri)
        if (document.path == path)
            return uri;
    return path_to_uri(path);
}

std::vector<const t_assembly*> assemblies_for(const t_server& server, const t_document& document) {
    std::vector<const t_assembly*> found;
    const auto own = server.runs.find(document.uri);
    for (const bool ok : {true, false}) {
        if (own != server.runs.end() && own->second.assembly.ok == ok)
            found.push_back(&own->second.assembly);
        for (const auto& [uri, run] : server.runs) {
            const std::vector<std::string>& read = run.assembly.files_read;
            if (uri != document.uri && run.assembly.ok == ok &&
                std::find(read.begin(), read.end(), document.path) != read.end())
                found.push_back(&run.assembly);
        }
    }
    return found;
}

// The settings of the initialization options: { "includePaths": [...], "defines": {...} }.
static t_settings settings_of(const t_json& options) {
    t_settings settings;
    if (!options.is_object())
        return settings;
    if (const auto paths = options.find("includePaths"); paths != options.end() && paths->is_array())
        for (const t_json& path : *paths)
            if (path.is_string() && !path.get<std::string>().empty())
                settings.include_paths.push_back(normal_path(path.get<std::string>()));
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

static t_json initialize_result(t_server& server, const t_json& params) {
    // orbasm reads #include names relative to the working directory: the workspace root.
    const std::string root = root_of(params);
    std::error_code error;
    if (!root.empty() && std::filesystem::is_directory(root, error) && ::chdir(root.c_str()) != 0)
        send(server, {{"jsonrpc", "2.0"},
                      {"method", "window/logMessage"},
                      {"params", {{"type", 2}, {"message", "orbls: could not change to the workspace " + root}}}});
    server.settings = settings_of(params.value("initializationOptions", t_json()));
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

// Marks the document of uri, and every open document whose latest run read path, to be
// assembled at the given time (or later, when one is already due later).
static void schedule(t_server& server, const std::string& uri, const std::string& path, t_clock::time_point at) {
    for (auto& [other_uri, run] : server.runs) {
        const std::vector<std::string>& read = run.assembly.files_read;
        if (other_uri != uri && std::find(read.begin(), read.end(), path) == read.end())
            continue;
        run.due_at = run.due ? std::max(run.due_at, at) : at;
        run.due = true;
    }
}

static void schedule_all(t_server& server, t_clock::time_point at) {
    for (auto& [uri, run] : server.runs) {
        run.due_at = run.due ? std::max(run.due_at, at) : at;
        run.due = true;
    }
}

static t_position position_of(const t_json& position) {
    return {position.at("line").get<int64_t>(), position.at("character").get<int64_t>()};
}

static void did_open(t_server& server, const t_json& params, t_clock::time_point now) {
    const t_json& item = params.at("textDocument");
    const std::string uri = item.at("uri").get<std::string>();
    const t_document& document =
        open_document(server.store, uri, item.value("version", int64_t(0)), item.at("text").get<std::string>());
    server.runs[uri];
    schedule(server, uri, document.path, now);
}

static void did_change(t_server& server, const t_json& params, t_clock::time_point now) {
    const t_json& item = params.at("textDocument");
    t_document* document = find_document(server.store, item.at("uri").get<std::string>());
    if (document == nullptr)
        return;
    for (const t_json& change : params.at("contentChanges")) {
        const std::string& text = change.at("text").get_ref<const std::string&>();
        if (const auto range = change.find("range"); range != change.end() && range->is_object()) {
            const t_position start = position_of(range->at("start"));
            const t_position end = position_of(range->at("end"));
            change_document(server.store, *document, &start, &end, text);
        } else {
            change_document(server.store, *document, nullptr, nullptr, text);
        }
    }
    document->version = item.value("version", document->version);
    // A change after a pause is assembled at once (once the messages already sent are read). One
    // that follows another within the debounce limit is part of a burst of typing: it waits for
    // the burst to pause, for as long as the last run took (a short program hardly waits), and
    // never longer than the limit.
    t_document_run& run = server.runs[document->uri];
    const auto last_run = std::chrono::duration_cast<t_clock::duration>(
        std::chrono::duration<double, std::milli>(run.assembly.milliseconds));
    const bool burst = now - run.changed < debounce_limit;
    run.changed = now;
    schedule(server, document->uri, document->path,
             burst ? now + std::min<t_clock::duration>(last_run, debounce_limit) : now);
}

static void did_close(t_server& server, const t_json& params, t_clock::time_point now) {
    const std::string uri = params.at("textDocument").at("uri").get<std::string>();
    const t_document* document = find_document(server.store, uri);
    if (document == nullptr)
        return;
    const std::string path = document->path;
    server.runs.erase(uri);
    close_document(server.store, uri);
    // The documents that included it read the file from disk now.
    schedule(server, uri, path, now);
    send(server, {{"jsonrpc", "2.0"},
                  {"method", "textDocument/publishDiagnostics"},
                  {"params", {{"uri", uri}, {"diagnostics", t_json::array()}}}});
}

void run_due_assemblies(t_server& server, t_clock::time_point now) {
    for (auto& [uri, run] : server.runs) {
        if (!run.due || run.due_at > now)
            continue;
        const t_document* document = find_document(server.store, uri);
        run.due = false;
        run.assembly = assemble(document->path, server.settings, server.store.texts);
        send(server, {{"jsonrpc", "2.0"},
                      {"method", "textDocument/publishDiagnostics"},
                      {"params", diagnostics_params(server, *document)}});
    }
}

std::optional<t_clock::time_point> next_due(const t_server& server) {
    std::optional<t_clock::time_point> first;
    for (const auto& [uri, run] : server.runs)
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
    const t_json params = message.value("params", t_json::object());
    if (!params.is_object() && !params.is_array()) {
        if (has_id)
            send_error(server, id, invalid_params, "params must be an object or an array");
        return;
    }
    if (method == "exit") {
        server.exit_requested = true;
        server.exit_code = server.shutdown_requested ? 0 : 1;
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

void handle_message(t_server& server, std::string_view body, t_clock::time_point now) {
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
    } catch (const t_json::exception& error) {
        // A field of the wrong type or missing: the parameters do not fit the method.
        if (request)
            send_error(server, id, invalid_params, std::string("invalid parameters: ") + error.what());
    } catch (const std::bad_alloc&) {
        if (request)
            send_error(server, id, internal_error, "out of memory");
    } catch (const std::exception& error) {
        if (request)
            send_error(server, id, internal_error, error.what());
    }
}

void handle_bad_header(t_server& server) {
    send_error(server, nullptr, parse_error, "a message header needs a Content-Length");
}
