// Hover, definition, references, symbols and completion on a program with an included file.
#include "orbls/session.h"

#include <gtest/gtest.h>

#include <iostream>

static const std::vector<std::pair<std::string, std::string>> program_files = {
    {"main.asm", join_lines({"#const size = 10", "@start:", " ld ax,size", " #include \"inc.asm\"", " jmp @start",
                             " call @sub", " db 1,2,3"})},
    {"inc.asm", join_lines({"@sub:", " add ax,bx", " ret"})},
};

struct t_request_case {
    std::string method;
    std::string file;
    int64_t line;
    int64_t character;
    std::string expected; // the result as the case renders it
};

// A result as one text: a hover's markdown, locations as "FILE L:S-L:E" one a line, a
// completion's labels separated by blanks, "null" for none.
static std::string result_text(const t_session& session, const t_json& result) {
    if (result.is_null())
        return "null";
    if (result.is_object() && result.contains("contents"))
        return result["contents"]["value"].get<std::string>();
    if (result.is_object() && result.contains("items")) {
        std::string text;
        for (const t_json& item : result["items"])
            text.append(text.empty() ? "" : " ").append(item["label"].get<std::string>());
        return text;
    }
    if (result.is_object())
        return location_text(session, result);
    std::string text;
    for (const t_json& location : result)
        text.append(text.empty() ? "" : "\n").append(location_text(session, location));
    return text;
}

static const std::string ld_help_row = "| `ld d,s` register from register | 0000 + 16·d + s |";

static const std::vector<t_request_case> request_cases = {
    {"textDocument/hover", "main.asm", 1, 2, "`@start` label at 00000000h (0)"},
    {"textDocument/hover", "main.asm", 2, 7, "`size` constant = 10 (0000000Ah)\n\n---\n\naddress 00000000h: 00 A8 0A 00"},
    {"textDocument/hover", "main.asm", 4, 7, "`@start` label at 00000000h (0)\n\n---\n\naddress 00000008h: 00 B8 00 00"},
    {"textDocument/hover", "main.asm", 5, 8, "`@sub` label at 00000004h (4)\n\n---\n\naddress 0000000Ch: 00 BA 04 00"},
    {"textDocument/hover", "main.asm", 6, 0, "address 00000010h: 01 02 03"},
    {"textDocument/hover", "inc.asm", 1, 0, "address 00000000h: 01 10"},
    {"textDocument/hover", "main.asm", 2, 500, "address 00000000h: 00 A8 0A 00"},
    {"textDocument/hover", "main.asm", 7, 0, "null"},
    {"textDocument/hover", "main.asm", 100, 0, "null"},
    {"textDocument/hover", "main.asm", -1, 0, "null"},
    {"textDocument/definition", "main.asm", 4, 6, "main.asm 1:0-1:6"},
    {"textDocument/definition", "main.asm", 5, 9, "inc.asm 0:0-0:4"},
    {"textDocument/definition", "main.asm", 2, 10, "main.asm 0:7-0:11"},
    {"textDocument/definition", "main.asm", 2, 1, "null"},
    {"textDocument/definition", "main.asm", 100, 3, "null"},
    {"textDocument/references", "main.asm", 5, 7, "main.asm 5:6-5:10\ninc.asm 0:0-0:4"},
    {"textDocument/references", "inc.asm", 0, 1, "inc.asm 0:0-0:4\nmain.asm 5:6-5:10"},
    {"textDocument/references", "main.asm", 0, 8, "main.asm 0:7-0:11\nmain.asm 2:7-2:11"},
    {"textDocument/references", "main.asm", 6, 2, ""},
    {"textDocument/references", "main.asm", 100, 2, ""},
    {"textDocument/completion", "main.asm", 4, 6, "@start @sub @endofexe"},
    {"textDocument/completion", "main.asm", 2, 9, "single size"},
    {"textDocument/completion", "main.asm", 6, 2,
     "db dw dd dsingle ddouble dextended div64 div dec1 dec2 dec4 dec8 dec10 dec12 dec16 dec24"},
    {"textDocument/completion", "main.asm", 3, 4, "#include"},
    {"textDocument/completion", "main.asm", 3, 2, "#include #org #align #data #zero #header #const"},
    {"textDocument/completion", "main.asm", 4, 9, "@start"},
    {"textDocument/completion", "main.asm", 100, 0, ""},
};

TEST(OrblsRequests, Table) {
    t_session session;
    start_session(session, program_files);
    open_file(session, "main.asm");
    open_file(session, "inc.asm");
    int passed = 0;
    for (const t_request_case& test : request_cases) {
        t_json params = at(session, test.file, test.line, test.character);
        if (test.method == "textDocument/references")
            params["context"] = {{"includeDeclaration", true}};
        const t_json response = request(session, test.method, params);
        const std::string got = response.contains("result") ? result_text(session, response["result"]) : response.dump();
        EXPECT_EQ(got, test.expected) << test.method << " at " << test.file << " " << test.line << ":" << test.character;
        passed += got == test.expected ? 1 : 0;
    }
    std::cout << passed << " of " << request_cases.size() << " requests answered as expected\n";
    t_json params = at(session, "main.asm", 5, 7);
    params["context"] = {{"includeDeclaration", false}};
    EXPECT_EQ(result_text(session, request(session, "textDocument/references", params)["result"]), "main.asm 5:6-5:10");
    end_session(session);
}

// A mnemonic's hover is the manual's section on it, with the line's address and bytes after.
TEST(OrblsRequests, HoverOnAMnemonicShowsItsFormsFromTheManual) {
    t_session session;
    start_session(session, program_files);
    open_file(session, "main.asm");
    const std::string text = result_text(session, request(session, "textDocument/hover", at(session, "main.asm", 2, 1))["result"]);
    EXPECT_EQ(text.substr(0, text.find('\n')), "**ld** — Loads, stores and moves: `ld` and `mov`");
    EXPECT_NE(text.find("\n" + ld_help_row + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n| `ld ax,5` | `00 A8 05 00` |\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.rfind('\n') + 1), "address 00000000h: 00 A8 0A 00");
    const std::string directive =
        result_text(session, request(session, "textDocument/hover", at(session, "main.asm", 3, 4))["result"]);
    EXPECT_EQ(directive.substr(0, directive.find("\n| `")),
              "**#include** — Directives\n\n| Directive | Effect |\n|---|---|");
    end_session(session);
}

TEST(OrblsRequests, Symbols) {
    t_session session;
    start_session(session, program_files);
    open_file(session, "main.asm");
    const t_json symbols = request(session, "textDocument/documentSymbol", {{"textDocument", {{"uri", uri_of(session, "main.asm")}}}})["result"];
    std::vector<std::string> got;
    for (const t_json& symbol : symbols)
        got.push_back(symbol["name"].get<std::string>() + " " + symbol["detail"].get<std::string>() + " kind " +
                      std::to_string(symbol["kind"].get<int>()) + " " +
                      location_text(session, {{"uri", ""}, {"range", symbol["range"]}}) + " " +
                      location_text(session, {{"uri", ""}, {"range", symbol["selectionRange"]}}));
    EXPECT_EQ(got, (std::vector<std::string>{"size = 10 kind 14  0:0-0:16  0:7-0:11", "@start 00000000h kind 12  1:0-1:7  1:0-1:6"}));
    got.clear();
    const t_json found = request(session, "workspace/symbol", {{"query", "SU"}})["result"];
    for (const t_json& symbol : found)
        got.push_back(symbol["name"].get<std::string>() + " " + location_text(session, symbol["location"]) + " in " +
                      symbol["containerName"].get<std::string>());
    EXPECT_EQ(got, std::vector<std::string>{"@sub inc.asm 0:0-0:4 in inc.asm"});
    EXPECT_EQ(request(session, "workspace/symbol", {{"query", ""}})["result"].size(), 3u); // size, @start, @sub
    end_session(session);
}

// A buffer with errors above and below a label: the lines that assembled are laid out, so the
// label has its definition, its symbol and its address, and every error is a diagnostic.
TEST(OrblsRequests, ErrorsAboveAndBelowALabel) {
    t_session session;
    start_session(session, {{"main.asm", join_lines({" ld ax,1", " lod bx,6", "@mid:", " ld bx,@mid", " push bz",
                                                     " jmp @mid", "@last:", " db 300"})}});
    open_file(session, "main.asm");
    EXPECT_EQ(diagnostic_lines(session, "main.asm"),
              (std::vector<std::string>{"1:1-1:4 error Syntax Error",
                                        "  related main.asm 1:1-1:4 'lod' is not a mnemonic; did you mean 'ld'?",
                                        "4:6-4:8 error Register expected",
                                        "7:4-7:7 warning Value does not fit in a byte"}));
    EXPECT_EQ(result_text(session, request(session, "textDocument/definition", at(session, "main.asm", 5, 6))["result"]),
              "main.asm 2:0-2:4");
    EXPECT_EQ(result_text(session, request(session, "textDocument/hover", at(session, "main.asm", 5, 6))["result"]),
              "`@mid` label at 00000004h (4), approximate: a line above has an error\n\n---\n\n"
              "address 00000008h: 00 B8 04 00, approximate: a line above has an error");
    const std::string first = result_text(session, request(session, "textDocument/hover", at(session, "main.asm", 0, 2))["result"]);
    EXPECT_NE(first.find("address 00000000h: "), std::string::npos) << first;
    EXPECT_EQ(first.find("approximate"), std::string::npos) << first;
    const t_json symbols =
        request(session, "textDocument/documentSymbol", {{"textDocument", {{"uri", uri_of(session, "main.asm")}}}})["result"];
    std::vector<std::string> got;
    for (const t_json& symbol : symbols)
        got.push_back(symbol["name"].get<std::string>() + " " + symbol["detail"].get<std::string>());
    EXPECT_EQ(got, (std::vector<std::string>{"@mid 00000004h", "@last 0000000Ch"}));
    end_session(session);
}
