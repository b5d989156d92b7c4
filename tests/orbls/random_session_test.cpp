// Random sessions: arbitrary buffers, edits at arbitrary positions, requests anywhere and some
// malformed messages. The server must answer every request exactly once, publish ranges that are
// well formed, and afterwards judge a known program exactly as a fresh server does.
#include "orbls/session.h"

#include <gtest/gtest.h>

#include <random>

// Pieces that random text is made of: the language's words and punctuation, line ends of every
// kind, includes (of itself, of standard input, of a missing file), multibyte characters. (Bytes
// that are no UTF-8 cannot travel in JSON; the included file on disk holds some.)
static const std::vector<std::string> pieces = {
    "ld ", "ax", ",", "bx", "[", "]", "+", "-", "@l1", "@l2", ":", " ", "\t", "\r\n", "\n", "\r", "#const k = ",
    "k", "5", "0ffh", "db ", "'", "\"", "dd ", "jmp ", "jr nz,", "call ", "ret", "fld q1,single ", "1.5", "#org ",
    "#align ", "#zero ", "#data ", "70000000h", "#header", "@start:", "@stack:", "#include \"inc.asm\"",
    "#include \"main.asm\"", "#include \"\"", "#include \"none.asm\"", "\xC3\xA9", "\xF0\x9F\x98\x80", "\x1A",
    "\0", ";", "push ", "xchg [sp],cx", "int 21h,ax=", "@endofexe", "dextended -1e4000"};

// Lines that assemble, so that most programs get far enough to have names and addresses: names
// defined here are new each time (a name defined twice is an error); "k" and "@start" are defined
// at the head of the main program.
static const std::vector<std::string> good_lines = {
    "@l", " ld ax,k", " jmp @start", " jr nz,@start", " call @start", " db 'x', 0", " add ax,[bx+4]", " ret",
    "#include \"inc.asm\"", " dd @start", " fld q1,single 1.5", " push cx", " #align 4", "#const c"};

// Text of whole good lines, with random pieces in between now and then.
static std::string random_text(std::mt19937& random, int pieces_wanted) {
    std::string text;
    for (int k = 0; k < pieces_wanted; ++k) {
        const std::string& line = good_lines[random() % good_lines.size()];
        if (random() % 6 == 0)
            text += pieces[random() % pieces.size()];
        else if (line == "@l" || line == "#const c")
            text += line + std::to_string(random()) + (line == "@l" ? ":\r\n" : " = 7\r\n");
        else
            text += line + "\r\n";
    }
    return text;
}

static std::string random_program(std::mt19937& random, int lines) {
    return "#const k = 5\r\n@start:\r\n" + random_text(random, lines);
}

static t_json random_position(std::mt19937& random) {
    return {{"line", static_cast<int>(random() % 34) - 1}, {"character", static_cast<int>(random() % 30)}};
}

// Checks every range of a published diagnostic; "" when all are well formed.
static std::string range_fault(const t_json& published) {
    for (const t_json& diagnostic : published) {
        const t_json& range = diagnostic["range"];
        const int line = range["start"]["line"];
        if (line < 0 || range["end"]["line"] != line || range["start"]["character"] > range["end"]["character"] ||
            range["start"]["character"] < 0 || !diagnostic["message"].is_string())
            return diagnostic.dump();
    }
    return "";
}

static const char* const request_methods[] = {"textDocument/hover", "textDocument/definition", "textDocument/references",
                                              "textDocument/completion", "textDocument/documentSymbol",
                                              "workspace/symbol"};

TEST(OrblsRandomSession, EveryRequestIsAnswered) {
    int useful = 0; // answers with something in them: the sessions reach the handlers' work
    const std::string known = join_lines({"@l1: ", " ld ax,k", "#include \"inc.asm\"", " jmp @l2", " db 'x"});
    for (const uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        std::mt19937 random(seed);
        t_session session;
        start_session(session, {{"main.asm", random_program(random, 20)}, {"inc.asm", random_text(random, 4) + "\xFF\xFE"}});
        open_text(session, "main.asm", random_program(random, 30));
        int unanswered = 0;
        for (int step = 0; step < 600; ++step) {
            const std::string name = random() % 4 == 0 ? "inc.asm" : "main.asm";
            const auto choice = static_cast<uint32_t>(random() % 20);
            if (choice < 8) {
                const t_json start = random_position(random);
                const t_json end = random() % 2 == 0 ? start : random_position(random);
                notify(session, "textDocument/didChange",
                       {{"textDocument", {{"uri", uri_of(session, name)}, {"version", step}}},
                        {"contentChanges", {{{"range", {{"start", start}, {"end", end}}},
                                             {"text", random_text(random, static_cast<int>(random() % 4))}}}}});
            } else if (choice < 9) {
                notify(session, "textDocument/didChange",
                       {{"textDocument", {{"uri", uri_of(session, name)}, {"version", step}}},
                        {"contentChanges", {{{"text", random_program(random, 25)}}}}});
            } else if (choice < 10) {
                // A closed document opens again at once; an open one closes now and then.
                if (find_document(session.server.store, uri_of(session, name)) == nullptr || random() % 3 != 0)
                    open_text(session, name, random_program(random, 20));
                else
                    notify(session, "textDocument/didClose", {{"textDocument", {{"uri", uri_of(session, name)}}}});
            } else if (choice < 11) {
                std::string body = t_json{{"jsonrpc", "2.0"}, {"id", step}, {"method", "textDocument/hover"}}.dump();
                body.resize(random() % body.size());
                send_body(session, body + random_text(random, 2));
            } else {
                const std::string method = request_methods[random() % std::size(request_methods)];
                t_json params = at(session, name, 0, 0);
                params["position"] = random_position(random);
                params["query"] = random() % 2 == 0 ? std::string() : pieces[random() % pieces.size()];
                const t_json answer = request(session, method, params);
                unanswered += answer.contains("result") ? 0 : 1;
                const t_json& result = answer.value("result", t_json());
                useful += !result.is_null() && !result.empty() && result != t_json{{"isIncomplete", false}, {"items", t_json::array()}} ? 1 : 0;
                EXPECT_TRUE(answer.contains("result")) << method << " " << params.dump() << " " << answer.dump();
            }
        }
        for (const auto& [uri, published] : session.diagnostics)
            EXPECT_EQ(range_fault(published), "") << "seed " << seed;
        // Now the known program, against a fresh server with the same files.
        notify(session, "textDocument/didClose", {{"textDocument", {{"uri", uri_of(session, "inc.asm")}}}});
        open_text(session, "main.asm", known);
        t_session fresh;
        start_session(fresh, {{"main.asm", known}, {"inc.asm", ""}});
        open_text(fresh, "main.asm", known);
        write_file(session.dir, "inc.asm", "");
        notify(session, "textDocument/didSave", {{"textDocument", {{"uri", uri_of(session, "main.asm")}}}});
        EXPECT_EQ(diagnostic_lines(session, "main.asm"), diagnostic_lines(fresh, "main.asm")) << "seed " << seed;
        EXPECT_EQ(unanswered, 0);
        end_session(fresh);
        end_session(session);
    }
    std::cout << useful << " answers with a result in them\n";
    EXPECT_GT(useful, 250);
}
