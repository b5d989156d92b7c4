// What any client may send: params null, deep nesting, broken framing, a file under two URIs,
// changes that do not fit, huge positions, a large document; and the one rule by which orbls and
// orbasm find an included file.
#include "orbls/session.h"
#include "tools/orbls/transport.h"

#include <gtest/gtest.h>

#include <csignal>
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

static long resident_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Memory taken for a large document (many lines, and an included file of one long line) is
// given back once it is closed.
TEST(OrblsRobustness, MemoryComesBackAfterALargeDocumentIsClosed) {
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
    const long peak = resident_kib(server.pid);
    talk(server, notification_text("textDocument/didClose", R"({"textDocument":{"uri":")" + root + R"(/big.asm"}})"));
    talk(server, symbols, 2);
    const long after = resident_kib(server.pid);
    ::close(server.to);
    int status = 0;
    ::waitpid(server.pid, &status, 0);
    EXPECT_GT(peak - before, 100000) << "the document took too little memory to tell";
    EXPECT_LT(after - before, (peak - before) / 10) << before << " KiB before, " << peak << " open, " << after << " closed";
    remove_workdir(dir);
}
