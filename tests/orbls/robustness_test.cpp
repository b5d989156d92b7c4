// What any client may send: params null, deep nesting, broken framing, a file under two URIs,
// changes that do not fit, huge positions, a large document; and the one rule by which orbls and
// orbasm find an included file.
#include "orbls/session.h"
#include "tools/orbls/transport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

static std::string request_text(int id, const std::string& method, const std::string& params) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method + "\"" +
           (params.empty() ? "" : ",\"params\":" + params) + "}";
}

static std::string notification_text(const std::string& method, const std::string& params) {
    return R"({"jsonrpc":"2.0","method":")" + method + "\"" + (params.empty() ? "" : ",\"params\":" + params) + "}";
}

struct t_robustness_case {
    std::string what;
    std::string input;                 // sent after initialize
    std::vector<std::string> expected; // "ID result" or "ID CODE" for each answer after initialize's
    int exit_code;
};

static std::string nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

static std::vector<t_robustness_case> robustness_cases() {
    const std::string shutdown = frame_message(request_text(2, "shutdown", ""));
    const std::string exit = frame_message(notification_text("exit", ""));
    const std::string after_exit = frame_message(request_text(9, "shutdown", ""));
    std::string no_header_end;
    while (no_header_end.size() < (std::size_t(1) << 20))
        no_header_end += "\r\n\r";
    const std::string hover_params = R"({"textDocument":{"uri":"file:///x.asm"},"position":{"line":0,"character":0}})";
    return {
        {"shutdown and exit with params null end the server cleanly",
         frame_message(request_text(2, "shutdown", "null")) + frame_message(notification_text("exit", "null")) + after_exit,
         {"2 result"}, 0},
        {"exit with params null before shutdown ends it with 1", frame_message(notification_text("exit", "null")) + after_exit,
         {}, 1},
        {"140,000 nested arrays are refused, and the server goes on",
         frame_message(request_text(5, "textDocument/hover", nested(140000))) + shutdown + exit, {"null -32700", "2 result"}, 0},
        {"513 levels are refused, 512 are parsed",
         frame_message(request_text(5, "no/such", nested(512))) + frame_message(request_text(6, "no/such", nested(511))) +
             shutdown + exit,
         {"null -32700", "6 -32601", "2 result"}, 0},
        {"brackets inside a string are no nesting",
         frame_message(request_text(5, "no/such", "{\"a\":\"" + std::string(1000, '[') + "\\\"\"}")) + shutdown + exit,
         {"5 -32601", "2 result"}, 0},
        {"a Content-Length too short: one answer, then the next message",
         "Content-Length: 9\r\n\r\n" + request_text(5, "textDocument/hover", hover_params) + shutdown + exit,
         {"null -32700", "2 result"}, 0},
        {"a Content-Length too long: the message it swallowed is still answered",
         "Content-Length: 120\r\n\r\n" + request_text(5, "no/such", "") + frame_message(request_text(6, "no/such", "")) +
             shutdown + exit,
         {"null -32700", "6 -32601", "2 result"}, 0},
        {"a negative Content-Length", "Content-Length: -5\r\n\r\n[1,2]" + shutdown + exit, {"null -32700", "2 result"}, 0},
        {"a Content-Length above the largest message",
         "Content-Length: 2000000000\r\n\r\n" + frame_message(request_text(6, "no/such", "")) + shutdown + exit,
         {"null -32700", "6 -32601", "2 result"}, 0},
        {"a header block above 8 KiB", std::string(9000, 'x') + "\r\n\r\n" + shutdown + exit, {"null -32700", "2 result"}, 0},
        {"a megabyte without a header end", no_header_end + shutdown + exit, {"null -32700", "2 result"}, 0},
    };
}

// The real binary over pipes, one case a run.
TEST(OrblsRobustness, EveryClientIsServed) {
    t_workdir dir = make_workdir();
    const std::string initialize = frame_message(request_text(1, "initialize", R"({"capabilities":{}})"));
    for (const t_robustness_case& test : robustness_cases()) {
        const t_program_run run = run_program(dir, {ORBLS_BINARY}, initialize + test.input);
        t_transport output;
        output.pending = run.out;
        std::vector<std::string> got;
        std::string body;
        while (take_message(output, body) == t_read::message) {
            const t_json message = t_json::parse(body);
            if (message.contains("id") && message["id"] != 1)
                got.push_back(message["id"].dump() + " " +
                              (message.contains("error") ? message["error"]["code"].dump() : "result"));
        }
        EXPECT_EQ(got, test.expected) << test.what;
        EXPECT_EQ(run.exit_code, test.exit_code) << test.what;
    }
    remove_workdir(dir);
}

// A server process to talk with while it runs.
struct t_server_process {
    pid_t pid = -1;
    int to = -1;
    t_transport from;
};

static void start_server(t_server_process& server) {
    int in[2];
    int out[2];
    ASSERT_EQ(::pipe(in), 0);
    ASSERT_EQ(::pipe(out), 0);
    server.pid = ::fork();
    ASSERT_GE(server.pid, 0);
    if (server.pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        for (const int fd : {in[0], in[1], out[0], out[1]})
            ::close(fd);
        ::execl(ORBLS_BINARY, ORBLS_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    server.to = in[1];
    server.from.fd = out[0];
}

// Sends a message, and with an id waits for its answer.
static t_json talk(t_server_process& server, const std::string& body, const t_json& id = nullptr) {
    EXPECT_TRUE(write_message(server.to, body));
    std::string answer;
    while (!id.is_null() && read_message(server.from, -1, answer) == t_read::message) {
        t_json message = t_json::parse(answer);
        if (message.value("id", t_json()) == id)
            return message;
    }
    return nullptr;
}

// Resident memory in KiB now ("VmRSS:") or at its peak ("VmHWM:").
static long resident_kib(pid_t pid, const std::string& field = "VmRSS:") {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, field.size(), field) == 0)
            return std::stol(line.substr(field.size()));
    return -1;
}

// Memory taken for a large document (many lines, and an included file of one long line) is
// given back once it is closed.
TEST(OrblsRobustness, MemoryComesBackAfterALargeDocumentIsClosed) {
    if (under_sanitizer())
        GTEST_SKIP() << "the sanitizer's allocator keeps what the server frees";
    t_workdir dir = make_workdir();
    const std::string root = path_to_uri(fs::canonical(dir.path).string());
    write_file(dir, "long.asm", " db " + [] {
        std::string values;
        for (int k = 0; k < 1000000; ++k)
            values += "1,";
        return values;
    }() + "1\n");
    std::string text = "#include \"long.asm\"\n";
    for (int k = 0; k < 400000; ++k)
        text += " db 1,2,3\n";
    t_server_process server;
    start_server(server);
    talk(server, request_text(1, "initialize", R"({"rootUri":")" + root + R"(","capabilities":{}})"), 1);
    const std::string symbols = request_text(2, "workspace/symbol", R"({"query":""})");
    talk(server, symbols, 2);
    const long before = resident_kib(server.pid);
    talk(server, notification_text("textDocument/didOpen", t_json{{"textDocument", {{"uri", root + "/big.asm"},
                                                                                         {"version", 1},
                                                                                         {"text", text}}}}
                                                                      .dump()));
    const t_json hover = talk(server, request_text(3, "textDocument/hover", R"({"textDocument":{"uri":")" + root +
                                                                                R"(/big.asm"},"position":{"line":1,"character":1}})"),
                                  3);
    EXPECT_TRUE(hover["result"].is_object());
    const long open = resident_kib(server.pid);
    const long peak = resident_kib(server.pid, "VmHWM:");
    talk(server, notification_text("textDocument/didClose", R"({"textDocument":{"uri":")" + root + R"(/big.asm"}})"));
    talk(server, symbols, 2);
    const long after = resident_kib(server.pid);
    ::close(server.to);
    int status = 0;
    ::waitpid(server.pid, &status, 0);
    EXPECT_GT(peak - before, 100000) << "the document took too little memory to tell";
    EXPECT_LT(after - before, std::min((peak - before) / 10, (open - before) / 2))
        << before << " KiB before, " << peak << " at the peak, " << open << " open, " << after << " closed";
    remove_workdir(dir);
}

struct t_change_case {
    std::string what;
    std::string uri_tail;    // after the workspace folder: another spelling of al.asm
    std::string changes;     // the contentChanges, as sent
    std::string text;        // the document afterwards
    int64_t version;         // its version afterwards (each change sends the next number)
    bool logged;             // the client's log was told the change was not applied
};

static std::string range_text(const std::string& start, const std::string& end) {
    return R"({"start":)" + start + R"(,"end":)" + end + "}";
}

// One file under several URIs is one document; a didChange applies whole or not at all; a
// position past the document is clamped to its end, whatever its size.
TEST(OrblsRobustness, OneDocumentPerFileAndChangesWholeOrNot) {
    t_session session;
    start_session(session, {});
    open_text(session, "al.asm", "@a:\n jmp @a\n");
    const std::string at_0_0 = R"({"line":0,"character":0})";
    const std::string at_0_1 = R"({"line":0,"character":1})";
    const std::string insert_x = R"({"range":)" + range_text(at_0_0, at_0_0) + R"(,"text":"X"})";
    const std::vector<t_change_case> cases = {
        {"%xx spelling", "/%61l.asm", "[" + insert_x + "]", "X@a:\n jmp @a\n", 2, false},
        {"doubled slash, . and ..", "//sub/./../al.asm", R"([{"range":)" + range_text(at_0_0, at_0_1) + R"(,"text":""}])",
         "@a:\n jmp @a\n", 3, false},
        {"second range ends before it starts", "/al.asm", "[" + insert_x + R"(,{"range":)" + range_text(at_0_1, at_0_0) + R"(,"text":""}])",
         "@a:\n jmp @a\n", 3, true},
        {"second range has a negative line", "/al.asm",
         "[" + insert_x + R"(,{"range":)" + range_text(R"({"line":-1,"character":0})", at_0_0) + R"(,"text":""}])",
         "@a:\n jmp @a\n", 3, true},
        {"second change has no text", "/al.asm", "[" + insert_x + R"(,{"range":)" + range_text(at_0_0, at_0_0) + "}]",
         "@a:\n jmp @a\n", 3, true},
        {"character 2^64 is the line's end", "/al.asm",
         R"([{"range":)" + range_text(R"({"line":0,"character":18446744073709551616})", R"({"line":0,"character":18446744073709551616})") +
             R"(,"text":"!"}])",
         "@a:!\n jmp @a\n", 7, false},
        {"line 1e300 is the document's end", "/al.asm",
         R"([{"range":)" + range_text(R"({"line":1e300,"character":0})", R"({"line":1e300,"character":0})") + R"(,"text":";"}])",
         "@a:!\n jmp @a\n;", 8, false},
    };
    const std::string folder = "file://" + session.dir.path;
    int64_t version = 1;
    for (const t_change_case& test : cases) {
        const std::size_t before = session.other.size();
        send_body(session, R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":")" + folder +
                               test.uri_tail + R"(","version":)" + std::to_string(++version) +
                               R"(},"contentChanges":)" + test.changes + "}}");
        const t_document* document = find_document(session.server.store, uri_of(session, "al.asm"));
        ASSERT_NE(document, nullptr) << test.what;
        EXPECT_EQ(document_text(session.server.store, *document), test.text) << test.what;
        EXPECT_EQ(document->version, test.version) << test.what;
        EXPECT_EQ(session.other.size() - before, test.logged ? 1u : 0u) << test.what;
        if (test.logged && session.other.size() > before) {
            EXPECT_EQ(session.other.back()["method"], "window/logMessage") << test.what;
        }
    }
    EXPECT_EQ(session.server.store.by_path.size(), 1u);
    // Asked under yet another spelling, the document answers from its one line table.
    const t_json hover = request(session, "textDocument/hover",
                                 {{"textDocument", {{"uri", folder + "/./%61%6C.asm"}}}, {"position", {{"line", 1}, {"character", 6}}}});
    EXPECT_TRUE(hover["result"].is_object()) << hover.dump();
    send_body(session, R"({"jsonrpc":"2.0","id":99,"method":"textDocument/hover","params":{"textDocument":{"uri":")" + folder +
                           R"(/al.asm"},"position":{"line":18446744073709551616,"character":1e300}}})");
    EXPECT_EQ(session.other.back().dump(), R"({"id":99,"jsonrpc":"2.0","result":null})");
    // Opened twice under two names, it stays open until both are closed.
    notify(session, "textDocument/didOpen",
           {{"textDocument", {{"uri", folder + "/./al.asm"}, {"version", 9}, {"text", "@b:\n jmp @b\n"}}}});
    notify(session, "textDocument/didClose", {{"textDocument", {{"uri", folder + "/al.asm"}}}});
    ASSERT_NE(find_document(session.server.store, uri_of(session, "al.asm")), nullptr);
    const t_json still = request(session, "textDocument/hover", {{"textDocument", {{"uri", folder + "/./al.asm"}}},
                                                                {"position", {{"line", 1}, {"character", 6}}}});
    EXPECT_TRUE(still["result"].is_object()) << still.dump();
    notify(session, "textDocument/didClose", {{"textDocument", {{"uri", folder + "/%61l.asm"}}}});
    EXPECT_TRUE(session.server.store.by_path.empty());
    EXPECT_TRUE(session.server.store.texts.empty());
    end_session(session);
}

struct t_include_case {
    std::string what;
    std::vector<std::pair<std::string, std::string>> files; // the project; src/main.asm is the program
    std::vector<std::string> include_paths;                   // -I for orbasm, includePaths for orbls
    std::string expected;                                     // "ok" or the error
};

// orbasm run from the project's folder and orbls with it as the workspace find an included file
// by one rule: its name from that folder first, then from each include folder. The folder of the
// including file is not searched. The server never leaves its own working directory.
TEST(OrblsRobustness, OrbasmAndOrblsFindIncludesByOneRule) {
    const std::string main = "#include \"defs.asm\"\n ld ax,size\n";
    const std::string defs = "#const size = 4\n";
    const std::vector<t_include_case> cases = {
        {"beside the main file only", {{"src/main.asm", main}, {"src/defs.asm", defs}}, {}, "Could not read file"},
        {"at the project's folder", {{"src/main.asm", main}, {"defs.asm", defs}}, {}, "ok"},
        {"named from the project's folder",
         {{"src/main.asm", "#include \"src/defs.asm\"\n ld ax,size\n"}, {"src/defs.asm", defs}}, {}, "ok"},
        {"in an include folder relative to the project", {{"src/main.asm", main}, {"lib/defs.asm", defs}}, {"lib"}, "ok"},
        {"the project's folder before the include folder",
         {{"src/main.asm", main}, {"defs.asm", defs}, {"lib/defs.asm", " bogus\n"}}, {"lib"}, "ok"},
    };
    const fs::path working = fs::current_path();
    for (const t_include_case& test : cases) {
        t_session session;
        start_session(session, test.files, {{"includePaths", test.include_paths}});
        std::vector<std::string> args = {ORBASM_BINARY};
        for (const std::string& path : test.include_paths)
            args.insert(args.end(), {"-I", path});
        args.insert(args.end(), {"-o", "main.orb", "src/main.asm"});
        const t_program_run orbasm = run_program(session.dir, args, "");
        const std::string orbasm_result =
            orbasm.exit_code == 0 ? "ok" : orbasm.err.find(test.expected) != std::string::npos ? test.expected : orbasm.err;
        open_file(session, "src/main.asm");
        const std::vector<std::string> lines = diagnostic_lines(session, "src/main.asm");
        const std::string orbls_result =
            lines.empty() ? "ok" : lines[0].find(test.expected) != std::string::npos ? test.expected : lines[0];
        EXPECT_EQ(orbasm_result, test.expected) << test.what;
        EXPECT_EQ(orbls_result, test.expected) << test.what;
        EXPECT_EQ(fs::current_path(), working) << test.what;
        end_session(session);
    }
}
