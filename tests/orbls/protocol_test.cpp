// The protocol around the requests: framing, malformed messages, the lifecycle, document edits in
// UTF-16 positions, and runs that leave nothing behind for the next.
#include "orbls/session.h"
#include "tools/orbls/transport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

struct t_framing_case {
    std::string input;
    std::vector<std::string> expected; // "message BODY" / "bad REASON" for each taken, then "left N"
};

static const std::string no_length = "bad a message header needs a Content-Length";
static const std::string bad_length = "bad a message header has a Content-Length that is no length";

// A framing fault is reported once, and the next "Content-Length:" starts the next message: after
// a header without a usable length, after a header block that does not end, and after a body
// that is no JSON (its length was too short or too long: the next message is looked for inside).
static const std::vector<t_framing_case> framing_cases = {
    {"Content-Length: 2\r\n\r\n{}", {"message {}", "left 0"}},
    {"Content-Length: 2\r\n\r\n{}Content-Length: 3\r\n\r\n[1]", {"message {}", "message [1]", "left 0"}},
    {"content-length:4\r\nContent-Type: application/vscode-jsonrpc; charset=utf-8\r\n\r\nnull", {"message null", "left 0"}},
    {"\r\n\r\nContent-Length: 1\r\n\r\n1", {"message 1", "left 0"}},
    {"Content-Length: 5\r\n\r\n{}", {"left 23"}},
    {"Content-Length: 2\r\n", {"left 19"}},
    {"Content-Type: x\r\n\r\n{}", {no_length, "left 14"}},
    {"Content-Length: 2x\r\n\r\n{}", {bad_length, "left 14"}},
    {"Content-Length: -2\r\n\r\n[1]Content-Length: 3\r\n\r\n[2]", {bad_length, "message [2]", "left 0"}},
    {"Content-Length: 99999999999999999999\r\n\r\n", {"bad a message is longer than 1073741824 bytes", "left 14"}},
    {"Content-Length: \r\n\r\nContent-Length: 0\r\n\r\n", {bad_length, "message ", "left 0"}},
    {"Content-Length: 5\r\n\r\n{\"a\":1}Content-Length: 3\r\n\r\n[2]", {"message {\"a\":", "message [2]", "left 0"}},
    {"Content-Length: 12\r\n\r\n[1]Content-Length: 3\r\n\r\n[2]Content-Length: 3\r\n\r\n[3]",
     {"message [1]Content-L", "message [2]", "message [3]", "left 0"}},
    {"Content-Length: 40\r\n\r\n[1]Content-Length: 3\r\n\r\n[2]Content-Length: 3\r\n\r\n[3]",
     {"message [1]Content-Length: 3\r\n\r\n[2]Content-Lengt", "message [2]", "message [3]", "left 0"}},
    {std::string(9000, 'x') + "Content-Length: 3\r\n\r\n[2]", {"bad a message header is longer than 8192 bytes", "message [2]", "left 0"}},
};

// Takes messages as the server does: a body that is no JSON sends the search on inside it.
static std::vector<std::string> taken_messages(t_transport& transport) {
    std::vector<std::string> got;
    std::string body;
    for (t_read read; (read = take_message(transport, body)) != t_read::timeout;) {
        got.push_back((read == t_read::message ? "message " : "bad ") + body);
        if (read == t_read::message && !t_json::accept(body))
            skip_from_body(transport, body);
    }
    return got;
}

TEST(OrblsProtocol, Framing) {
    for (const t_framing_case& test : framing_cases) {
        t_transport transport;
        transport.pending = test.input;
        std::vector<std::string> got = taken_messages(transport);
        got.push_back("left " + std::to_string(transport.pending.size()));
        EXPECT_EQ(got, test.expected) << testing::PrintToString(test.input);
    }
    // Bytes that never end a header, as reads bring them: one fault, nothing held beyond a header
    // block and a read, and the next message is found.
    t_transport transport;
    const std::string read_bytes = [] {
        std::string bytes;
        while (bytes.size() < (std::size_t(1) << 16))
            bytes += "\r\n\r";
        return bytes;
    }();
    std::vector<std::string> got;
    std::size_t most_held = 0;
    for (int k = 0; k < 320; ++k) {
        transport.pending += read_bytes;
        most_held = std::max(most_held, transport.pending.size());
        for (const std::string& taken : taken_messages(transport))
            got.push_back(taken);
    }
    transport.pending += frame_message("[2]");
    for (const std::string& taken : taken_messages(transport))
        got.push_back(taken);
    EXPECT_EQ(got, (std::vector<std::string>{"bad a message header is longer than 8192 bytes", "message [2]"}));
    EXPECT_LE(most_held, read_bytes.size() + max_header_bytes + 4);
    EXPECT_EQ(frame_message("{}"), "Content-Length: 2\r\n\r\n{}");
}

struct t_malformed_case {
    std::string body;
    std::string expected; // "CODE ID" of the error answer, "result" for an answer, "" for none
};

static const std::vector<t_malformed_case> malformed_cases = {
    {"{", "-32700 null"},
    {"{\"a\":\"\xff\"}", "-32700 null"},
    {"", "-32700 null"},
    {"[]", "-32600 null"},
    {"42", "-32600 null"},
    {R"({"jsonrpc":"2.0","id":7,"method":"no/such"})", "-32601 7"},
    {R"({"jsonrpc":"2.0","id":"x","method":"no/such","params":{}})", "-32601 \"x\""},
    {R"({"jsonrpc":"2.0","id":8})", "-32600 8"},
    {R"({"jsonrpc":"2.0","id":8,"result":null})", ""},
    {R"({"jsonrpc":"2.0","id":{"a":1},"method":"shutdown"})", "-32600 null"},
    {R"({"jsonrpc":"2.0","id":1.5,"method":"shutdown"})", "-32600 null"},
    {R"({"jsonrpc":"1.0","id":9,"method":"textDocument/hover","params":{}})", "-32600 9"},
    {R"({"id":9,"method":"textDocument/hover","params":{}})", "-32600 9"},
    {R"({"jsonrpc":"2.0","id":10,"method":"textDocument/hover","params":{}})", "-32602 10"},
    {R"({"jsonrpc":"2.0","id":11,"method":"textDocument/hover","params":{"textDocument":{"uri":5},"position":{}}})", "-32602 11"},
    {R"({"jsonrpc":"2.0","id":12,"method":"textDocument/hover","params":3})", "-32602 12"},
    {R"({"jsonrpc":"2.0","id":13,"method":"textDocument/completion","params":{"textDocument":{"uri":"file:///x"},"position":{"line":"a","character":0}}})", "-32602 13"},
    {R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{}})", ""},
    {R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":7}}})", ""},
    {R"({"jsonrpc":"2.0","method":"no/such/notification"})", ""},
    {R"({"jsonrpc":"2.0","id":14,"method":"initialize","params":{}})", "-32600 14"},
    {R"({"jsonrpc":"2.0","id":15,"method":"textDocument/hover","params":{"textDocument":{"uri":"file:///nowhere.asm"},"position":{"line":0,"character":0}}})", "result"},
};

TEST(OrblsProtocol, MalformedMessagesAreAnsweredAndTheServerGoesOn) {
    t_session session;
    start_session(session, {{"main.asm", " ret\r\n"}});
    int passed = 0;
    for (const t_malformed_case& test : malformed_cases) {
        const std::size_t before = session.other.size();
        send_body(session, test.body);
        std::string got;
        for (std::size_t k = before; k < session.other.size(); ++k) {
            const t_json& answer = session.other[k];
            got += (got.empty() ? "" : "; ") +
                   (answer.contains("error") ? answer["error"]["code"].dump() + " " + answer["id"].dump() : "result");
        }
        EXPECT_EQ(got, test.expected) << test.body;
        passed += got == test.expected ? 1 : 0;
    }
    std::cout << passed << " of " << malformed_cases.size() << " malformed messages answered as expected\n";
    open_file(session, "main.asm");
    const t_json hover = request(session, "textDocument/hover", at(session, "main.asm", 0, 1));
    EXPECT_EQ(hover["result"]["contents"]["value"].get<std::string>().substr(0, 12), "**ret** — ");
    end_session(session);
}

// Requests before initialize are refused, notifications dropped; after shutdown only exit counts,
// and the exit code tells whether shutdown came first.
TEST(OrblsProtocol, Lifecycle) {
    for (const bool shut_down : {true, false}) {
        t_server server;
        const auto send = [&](const std::string& body) {
            server.output.clear();
            handle_message(server, body, t_clock::now());
            return server.output.empty() ? std::string() : t_json::parse(server.output.back()).dump();
        };
        EXPECT_EQ(send(R"({"jsonrpc":"2.0","id":1,"method":"shutdown"})"),
                  R"({"error":{"code":-32002,"message":"the server is not initialized"},"id":1,"jsonrpc":"2.0"})");
        EXPECT_EQ(send(R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///a","text":""}}})"), "");
        EXPECT_TRUE(server.store.by_path.empty());
        EXPECT_NE(send(R"({"jsonrpc":"2.0","id":2,"method":"initialize","params":{"capabilities":{}}})").find("\"result\""),
                  std::string::npos);
        if (shut_down) {
            EXPECT_EQ(send(R"({"jsonrpc":"2.0","id":3,"method":"shutdown"})"), R"({"id":3,"jsonrpc":"2.0","result":null})");
            EXPECT_EQ(send(R"({"jsonrpc":"2.0","id":4,"method":"workspace/symbol","params":{"query":""}})"),
                      R"({"error":{"code":-32600,"message":"the server is shutting down"},"id":4,"jsonrpc":"2.0"})");
        }
        EXPECT_FALSE(server.exit_requested);
        EXPECT_EQ(send(R"({"jsonrpc":"2.0","method":"exit"})"), "");
        EXPECT_TRUE(server.exit_requested);
        EXPECT_EQ(server.exit_code, shut_down ? 0 : 1);
    }
}

struct t_edit_case {
    std::string before;
    t_position start;
    t_position end;
    std::string replacement;
    std::string after;
};

// Positions count UTF-16 units ("é" one, "😀" two) on lines ended by CR LF, CR or LF; a position
// past a line's end is its end, past the last line the text's end.
static const std::vector<t_edit_case> edit_cases = {
    {"ab\r\ncd\r\n", {1, 0}, {1, 1}, "X", "ab\r\nXd\r\n"},
    {"ab\rcd\nef", {2, 1}, {2, 2}, "", "ab\rcd\ne"},
    {"ab\rcd\nef", {1, 1}, {2, 1}, "-", "ab\rc-f"},
    {"\xC3\xA9\xF0\x9F\x98\x80z\n", {0, 3}, {0, 4}, "y", "\xC3\xA9\xF0\x9F\x98\x80y\n"},
    {"\xC3\xA9\xF0\x9F\x98\x80z\n", {0, 1}, {0, 3}, "", "\xC3\xA9z\n"},
    {"ab\n", {0, 99}, {0, 99}, "!", "ab!\n"},
    {"ab\n", {7, 0}, {9, 9}, "tail", "ab\ntail"},
    {"ab\n", {0, 2}, {0, 0}, "<", "ab<\n"},
    {"a\xFF" "b", {0, 2}, {0, 3}, "", "a\xFF"},
};

TEST(OrblsProtocol, EditsInUtf16Positions) {
    for (const t_edit_case& test : edit_cases) {
        t_document_store store;
        t_document& document = open_document(store, "file:///t.asm", 1, test.before);
        change_document(store, document, &test.start, &test.end, test.replacement);
        EXPECT_EQ(document_text(store, document), test.after) << testing::PrintToString(test.before);
        EXPECT_EQ(document.line_starts, line_starts_of(test.after));
    }
    EXPECT_EQ(uri_to_path("file:///tmp/a%20b/./c%25.asm"), "/tmp/a b/c%.asm");
    EXPECT_EQ(path_to_uri("/tmp/a b/c%.asm"), "file:///tmp/a%20b/c%25.asm");
    EXPECT_EQ(uri_to_path("untitled:Untitled-1"), "/-orbls-document-/untitled:Untitled-1");
    EXPECT_EQ(uri_to_path("FILE:////tmp//a/../%62.asm"), "/tmp/b.asm");
    EXPECT_EQ(uri_to_path("file:/tmp/./b.asm"), "/tmp/b.asm");
    EXPECT_EQ(uri_to_path("file://localhost/tmp/b.asm"), "/tmp/b.asm");
}

// Every global of a run is set afresh by the run: a program assembled after one that failed deep
// in an include (files open, names undefined) gives exactly what it gave before.
TEST(OrblsProtocol, RunsInARowAreIndependent) {
    t_session session;
    start_session(session, {{"good.asm", join_lines({"#header", "@runpoint:", "@start: ", " jmp @later", "#include 'x.asm'",
                                                     "@later:", " db 'é', 5", "@stack:", "@endofstack:"})},
                            {"x.asm", join_lines({" ld ax,[bx+8]", " fld q1,single 1.5"})},
                            {"bad.asm", join_lines({"@start:", " jmp @nowhere", "#include 'y.asm'"})},
                            {"y.asm", join_lines({"#include 'y.asm'"})}});
    const std::map<std::string, std::string, std::less<>> texts;
    const t_settings settings{{}, {"K=1"}, session.dir.path};
    const t_assembly first = assemble(session.dir.path + "/good.asm", settings, texts);
    const t_assembly failed = assemble(session.dir.path + "/bad.asm", settings, texts);
    const t_assembly again = assemble(session.dir.path + "/good.asm", settings, texts);
    ASSERT_TRUE(first.ok);
    ASSERT_FALSE(failed.ok);
    EXPECT_EQ(failed.findings.size(), 1u);
    EXPECT_EQ(failed.findings[0].message, "Too many nested includes");
    EXPECT_EQ(again.files, first.files);
    EXPECT_EQ(again.bytes, first.bytes);
    EXPECT_EQ(again.files_read, first.files_read);
    EXPECT_TRUE(again.findings.empty());
    ASSERT_EQ(again.symbols.size(), first.symbols.size());
    for (std::size_t k = 0; k < first.symbols.size(); ++k)
        EXPECT_EQ(std::tie(again.symbols[k].name, again.symbols[k].value, again.symbols[k].constant),
                  std::tie(first.symbols[k].name, first.symbols[k].value, first.symbols[k].constant));
    ASSERT_EQ(again.uses.size(), first.uses.size());
    ASSERT_EQ(again.lines.size(), first.lines.size());
    for (std::size_t k = 0; k < first.lines.size(); ++k)
        EXPECT_EQ(std::tie(again.lines[k].file, again.lines[k].line, again.lines[k].address, again.lines[k].byte_count),
                  std::tie(first.lines[k].file, first.lines[k].line, first.lines[k].address, first.lines[k].byte_count));
    EXPECT_EQ(symbol_named(failed, "K") >= 0 && symbol_named(failed, "@later") < 0, true);
    end_session(session);
}

// The real binary over pipes: a header without a length, a body that is no JSON, then a session
// that ends with shutdown and exit; standard input that ends without them gives exit code 1. A
// request sent right after a change is answered after the change's diagnostics.
TEST(OrblsProtocol, TheBinaryOverPipes) {
    t_workdir dir = make_workdir();
    write_file(dir, "p.asm", " ret\r\n");
    const std::string root = path_to_uri(std::filesystem::canonical(dir.path).string());
    const std::string initialize =
        R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"rootUri":")" + root + R"(","capabilities":{}}})";
    const std::string open = R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":")" +
                             root + R"(/p.asm","version":3,"text":" ret\r\n bad\r\n"}}})";
    const std::string hover = R"({"jsonrpc":"2.0","id":2,"method":"textDocument/hover","params":{"textDocument":{"uri":")" +
                              root + R"(/p.asm"},"position":{"line":0,"character":2}}})";
    const std::string input = "Content-Type: x\r\n\r\n" + frame_message("{") + frame_message(initialize) +
                              frame_message(open) + frame_message(hover) +
                              frame_message(R"({"jsonrpc":"2.0","id":3,"method":"shutdown"})") +
                              frame_message(R"({"jsonrpc":"2.0","method":"exit"})") + frame_message("{}");
    const t_program_run run = run_program(dir, {ORBLS_BINARY}, input);
    std::vector<std::string> got;
    t_transport output;
    output.pending = run.out;
    std::string body;
    while (take_message(output, body) == t_read::message) {
        t_json message = t_json::parse(body);
        if (message.contains("result") && message["result"].is_object())
            message["result"] = "...";
        got.push_back(message.dump());
    }
    EXPECT_EQ(got, (std::vector<std::string>{
                       R"({"error":{"code":-32700,"message":"a message header needs a Content-Length"},"id":null,"jsonrpc":"2.0"})",
                       R"({"error":{"code":-32700,"message":"parse error: [json.exception.parse_error.101] parse error at line 1, column 2: syntax error while parsing object key - unexpected end of input; expected string literal"},"id":null,"jsonrpc":"2.0"})",
                       R"({"id":1,"jsonrpc":"2.0","result":"..."})",
                       R"({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"diagnostics":[{"message":"Syntax Error","range":{"end":{"character":4,"line":1},"start":{"character":1,"line":1}},"relatedInformation":[{"location":{"range":{"end":{"character":4,"line":1},"start":{"character":1,"line":1}},"uri":")" +
                           root + R"(/p.asm"},"message":"'bad' is not a mnemonic"}],"severity":1,"source":"orbasm"}],"uri":")" +
                           root + R"(/p.asm","version":3}})",
                       R"({"id":2,"jsonrpc":"2.0","result":"..."})", R"({"id":3,"jsonrpc":"2.0","result":null})"}));
    EXPECT_EQ(output.pending, "");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run_program(dir, {ORBLS_BINARY}, frame_message(initialize)).exit_code, 1);
    EXPECT_EQ(run_program(dir, {ORBLS_BINARY, "--bogus"}, "").exit_code, 2);
    remove_workdir(dir);
}
