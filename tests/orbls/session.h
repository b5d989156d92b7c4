// A language server session held in-process: a workspace of real files, the server's state, and
// the messages it sent, taken apart for the tests.
#pragma once
#include "support/harness.h"
#include "tools/orbls/requests.h"
#include "tools/orbls/server.h"

#include <map>
#include <string>
#include <vector>

struct t_session {
    t_workdir dir;
    t_server server;
    int64_t next_id = 1;
    std::string old_cwd;
    std::map<std::string, t_json> diagnostics; // the latest published, by URI
    std::vector<t_json> other;                 // every other message, in order
};

// Writes the files (name, text) into a fresh workspace and initializes a server there.
void start_session(t_session& session, const std::vector<std::pair<std::string, std::string>>& files,
                   const t_json& options = t_json::object());
// Leaves the workspace and removes it.
void end_session(t_session& session);
std::string uri_of(const t_session& session, const std::string& name);
// Sends one message body as it is, then runs every assembly that is due.
void send_body(t_session& session, const std::string& body);
void notify(t_session& session, const std::string& method, const t_json& params);
// The answer to a request (the whole response message).
t_json request(t_session& session, const std::string& method, const t_json& params);
// Opens the named file of the workspace with its text on disk (or the given text).
void open_file(t_session& session, const std::string& name);
void open_text(t_session& session, const std::string& name, const std::string& text);
// Replaces the text from (line, character) to (end_line, end_character).
void edit(t_session& session, const std::string& name, int64_t line, int64_t character, int64_t end_line,
          int64_t end_character, const std::string& text);
// The latest diagnostics of the named file, one line each: "3:1-3:19 error MESSAGE", then
// "  related NAME 1:2-1:7 MESSAGE" for each related location (NAME relative to the workspace).
std::vector<std::string> diagnostic_lines(const t_session& session, const std::string& name);
// A location as "NAME L:S-L:E".
std::string location_text(const t_session& session, const t_json& location);
// A position's parameters in the named file.
t_json at(const t_session& session, const std::string& name, int64_t line, int64_t character);
