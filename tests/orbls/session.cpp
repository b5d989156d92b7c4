#include "orbls/session.h"

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

static void take_output(t_session& session) {
    for (const std::string& text : session.server.output) {
        t_json message = t_json::parse(text);
        if (message.value("method", "") == "textDocument/publishDiagnostics")
            session.diagnostics[message["params"]["uri"].get<std::string>()] = message["params"]["diagnostics"];
        else
            session.other.push_back(std::move(message));
    }
    session.server.output.clear();
}

void send_body(t_session& session, const std::string& body) {
    handle_message(session.server, body, t_clock::now());
    run_due_assemblies(session.server, t_clock::time_point::max());
    take_output(session);
}

void notify(t_session& session, const std::string& method, const t_json& params) {
    send_body(session, t_json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
}

t_json request(t_session& session, const std::string& method, const t_json& params) {
    const int64_t id = session.next_id++;
    const std::size_t before = session.other.size();
    send_body(session, t_json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump());
    for (std::size_t k = before; k < session.other.size(); ++k)
        if (session.other[k].value("id", t_json()) == id)
            return session.other[k];
    return nullptr;
}

void start_session(t_session& session, const std::vector<std::pair<std::string, std::string>>& files,
                   const t_json& options) {
    session.dir = make_workdir();
    // The server works in the workspace; its path as the server sees it after changing there.
    session.dir.path = fs::canonical(session.dir.path).string();
    for (const auto& [name, text] : files) {
        fs::create_directories((fs::path(session.dir.path) / name).parent_path());
        write_file(session.dir, name, text);
    }
    session.old_cwd = fs::current_path().string();
    request(session, "initialize",
            {{"processId", nullptr},
             {"rootUri", path_to_uri(session.dir.path)},
             {"capabilities", t_json::object()},
             {"initializationOptions", options}});
    notify(session, "initialized", t_json::object());
}

void end_session(t_session& session) {
    fs::current_path(session.old_cwd);
    remove_workdir(session.dir);
}

std::string uri_of(const t_session& session, const std::string& name) {
    return path_to_uri(session.dir.path + "/" + name);
}

void open_text(t_session& session, const std::string& name, const std::string& text) {
    notify(session, "textDocument/didOpen",
           {{"textDocument", {{"uri", uri_of(session, name)}, {"languageId", "orbasm"}, {"version", 1}, {"text", text}}}});
}

void open_file(t_session& session, const std::string& name) {
    std::string text;
    {
        std::FILE* file = std::fopen((session.dir.path + "/" + name).c_str(), "rb");
        for (int c; file != nullptr && (c = std::fgetc(file)) != EOF;)
            text += static_cast<char>(c);
        if (file != nullptr)
            std::fclose(file);
    }
    open_text(session, name, text);
}

void edit(t_session& session, const std::string& name, int64_t line, int64_t character, int64_t end_line,
          int64_t end_character, const std::string& text) {
    const t_json range = {{"start", {{"line", line}, {"character", character}}},
                          {"end", {{"line", end_line}, {"character", end_character}}}};
    notify(session, "textDocument/didChange",
           {{"textDocument", {{"uri", uri_of(session, name)}, {"version", 2}}},
            {"contentChanges", {{{"range", range}, {"text", text}}}}});
}

static std::string range_text(const t_json& range) {
    return std::to_string(range["start"]["line"].get<int>()) + ":" + std::to_string(range["start"]["character"].get<int>()) +
           "-" + std::to_string(range["end"]["line"].get<int>()) + ":" + std::to_string(range["end"]["character"].get<int>());
}

std::string location_text(const t_session& session, const t_json& location) {
    std::string uri = location["uri"].get<std::string>();
    const std::string root = path_to_uri(session.dir.path) + "/";
    if (uri.compare(0, root.size(), root) == 0)
        uri = uri.substr(root.size());
    return uri + " " + range_text(location["range"]);
}

std::vector<std::string> diagnostic_lines(const t_session& session, const std::string& name) {
    std::vector<std::string> lines;
    const auto found = session.diagnostics.find(uri_of(session, name));
    if (found == session.diagnostics.end())
        return {"(none published)"};
    for (const t_json& diagnostic : found->second) {
        lines.push_back(range_text(diagnostic["range"]) + (diagnostic["severity"] == 1 ? " error " : " warning ") +
                        diagnostic["message"].get<std::string>());
        for (const t_json& related : diagnostic.value("relatedInformation", t_json::array()))
            lines.push_back("  related " + location_text(session, related["location"]) + " " +
                            related["message"].get<std::string>());
    }
    return lines;
}

t_json at(const t_session& session, const std::string& name, int64_t line, int64_t character) {
    return {{"textDocument", {{"uri", uri_of(session, name)}}}, {"position", {{"line", line}, {"character", character}}}};
}
