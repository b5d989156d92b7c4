// Line normalisation: source line -> canonical spacing.
#include "driver/driver.h"
#include "source/source.h"
#include "support/in_process.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {
struct t_case {
    std::string source;
    std::string normalised;
};

const t_case cases[] = {
    {"ld ax,[bx+4]", "ld ax ,[bx +4 ]"},
    {"  LD   AX , [BX+4]  ; note", "LD AX ,[BX +4 ];note"},
    {"dd @a-@b+12", "dd @a -@b +12"},
    {"\tmov ax, -5", "mov ax ,-5"},
    {"@loop:  jr nz,@loop", "@loop :jr nz ,@loop"},
    {"es:[ax]", "es :[ax ]"},
    {"x = y*2 / 3", "x =y 2 3"},
    {"#const  size = 10", "#const size =10"},
    {"db 'a b',\"x\",1+2", "db 'a b',\"x\",1 +2"},
    {"db x'a',1", "db x'a' ,1"},
    {"ld ax,bx   ", "ld ax ,bx "},
    {"", ""},
    {" \t !$%&()*/<>?\\^`{|}~\x7f", ""},
    {"'it\"s'", "'it\"s'"},
    {"db '\tA b'", "db '\tA b'"},
    {"a ,-5", "a ,-5"},
    {"a,,b", "a ,,b"},
    {"xchg [sp],dx", "xchg [sp ],dx"},
    {"a\x80\xff" "b", "a b"},
    {"a\nb", "a b"},
    {"#include\"x\"", "#include\"x\""},
    {"ret;x", "ret ;x"},
    {"a!+b", "a +b"},
    {"@x: ;c", "@x :;c"},
};
} // namespace

TEST(Normalize, Table) {
    for (const t_case& c : cases) {
        EXPECT_EQ(normalize_text(c.source), c.normalised) << "source: " << c.source;
    }
}

TEST(Normalize, UnclosedStringStopsWithTheRawLine) {
    for (std::string raw : {std::string("db 'abc"), std::string("\""), std::string("db 'a',\"b")}) {
        current_line = raw;
        EXPECT_EQ(stop_message([] { normalize_text(current_line); }), "String exceeds line") << raw;
        EXPECT_EQ(current_line, raw) << "the report's fault is the line as written";
    }
}

// A line normalised in the read buffer reads as the same line normalised whole, and the scan
// stops at its first line end; a line that does not end before the end of the buffer, or whose
// quote does not close within it, is left to the whole-line path.
TEST(Normalize, BufferedScanAgreesWithWholeLines) {
    for (const t_case& c : cases) {
        if (c.source.find_first_of(std::string("\r\n\x1a", 3)) != std::string::npos)
            continue;
        for (const std::string end : {"\r\nnext", "\n", "\r", "\x1a"}) {
            std::string buffer = c.source + end + "\n"; // the last byte stands for the sentinel
            std::string_view line = "unchanged";
            const char* stop = normalize_buffered(buffer.data(), buffer.data() + buffer.size() - 1, line);
            ASSERT_NE(stop, nullptr) << c.source;
            EXPECT_EQ(stop - buffer.data(), static_cast<std::ptrdiff_t>(c.source.size())) << c.source;
            EXPECT_EQ(line, c.normalised) << c.source;
        }
        std::string unended = c.source + "\n";
        std::string_view line = "unchanged";
        EXPECT_EQ(normalize_buffered(unended.data(), unended.data() + c.source.size(), line), nullptr) << c.source;
        EXPECT_EQ(line, "unchanged");
    }
    for (std::string raw : {std::string("db 'abc\r\n'x'\n"), std::string("\"\n\"\n"), std::string("db 'a',\"b\n")}) {
        std::string_view line = "unchanged";
        EXPECT_EQ(normalize_buffered(raw.data(), raw.data() + raw.size() - 1, line), nullptr) << raw;
        EXPECT_EQ(line, "unchanged");
    }
}

// Normalises line whole; false for an unclosed quote.
static bool normalizes_whole(std::string& line) {
    try {
        line = normalize_text(line);
    } catch (const t_fatal_stop&) {
        return false;
    }
    return true;
}

// A scan of raw in a buffer against raw normalised whole: a scan that gave up (stop nil) must have
// met an unclosed quote; one that did not must stop at the line's end with the same line. True when
// the two were compared.
static bool agrees_with_whole(const std::string& raw, const char* stop, const char* line_end,
                              std::string_view scanned) {
    std::string whole = raw;
    const bool closed = normalizes_whole(whole);
    if (stop == nullptr) {
        EXPECT_FALSE(closed) << "only an unclosed quote is left to the whole line: " << raw;
        return false;
    }
    EXPECT_TRUE(closed) << raw;
    EXPECT_EQ(stop, line_end) << raw;
    EXPECT_EQ(scanned, whole) << raw;
    return true;
}

// Random lines of every kind of byte, quotes included: the buffered scan agrees with the whole
// line, or leaves the line to it.
TEST(Normalize, BufferedScanAgreesOnRandomLines) {
    const std::string alphabet = "aZ09#.@_+,-:;=[]\"' \t!*\x80\xff\x01";
    std::mt19937 rng(3);
    int compared = 0;
    for (int i = 0; i < 100000; ++i) {
        std::string raw;
        const int length = static_cast<int>(rng() % 14);
        for (int k = 0; k < length; ++k)
            raw += alphabet[rng() % alphabet.size()];
        std::string buffer = raw + "\r\n\n";
        std::string_view fast = "unchanged";
        const char* stop = normalize_buffered(buffer.data(), buffer.data() + buffer.size() - 1, fast);
        const std::string scanned(fast);
        compared += agrees_with_whole(raw, stop, buffer.data() + raw.size(), scanned) ? 1 : 0;
    }
    EXPECT_GT(compared, 50000);
}

// Lines of up to 80 bytes of every byte value, starting anywhere in a buffer with more lines after
// them: the line normalised in the buffer reads as the same line normalised whole.
TEST(Normalize, LongLinesInTheBufferAgreeWithWholeLines) {
    std::mt19937 rng(11);
    const std::string common = "aZz09#.@_+,-:;=[] \t`{~^/";
    int compared = 0;
    for (int i = 0; i < 40000; ++i) {
        std::string raw;
        const int length = static_cast<int>(rng() % 81);
        const int quote_odds = static_cast<int>(rng() % 3); // some lines hold no quote at all
        for (int k = 0; k < length; ++k) {
            char c = rng() % 4 == 0 ? static_cast<char>(rng() % 256) : common[rng() % common.size()];
            if (c == '\r' || c == '\n' || c == 26 || ((c == '"' || c == '\'') && quote_odds == 0))
                c = ' ';
            if (quote_odds == 2 && rng() % 40 == 0)
                c = "\"'"[rng() % 2];
            raw += c;
        }
        const std::string pad(rng() % 16, 'x'); // where the line starts in the buffer
        std::string buffer = pad + raw + (rng() % 2 != 0 ? "\r\n" : "\n") + std::string(rng() % 40, 'y') + "\n";
        std::string_view out;
        const char* stop = normalize_buffered(buffer.data() + pad.size(), buffer.data() + buffer.size() - 1, out);
        const char* line_end = buffer.data() + pad.size() + raw.size();
        const std::string scanned(out);
        compared += agrees_with_whole(raw, stop, line_end, scanned) ? 1 : 0;
    }
    EXPECT_GT(compared, 30000);
}

// A position in the normalised line leads back to the word as written: its offset and length in
// the line as the user typed it.
TEST(Normalize, WrittenSpanOfAWord) {
    struct t_span_case {
        std::string written;
        int32_t pos; // in the normalised line; 0 for the whole line
        int32_t offset;
        int32_t length;
    };
    const t_span_case spans[] = {
        {"ld   ax,\tbx", 4, 5, 2},    // "ld ax ,bx": ax
        {"ld   ax,\tbx", 7, 7, 1},    // the comma
        {"ld   ax,\tbx", 8, 9, 2},    // bx after the tab
        {"ld   ax,\tbx", 0, 0, 2},    // the whole line: its first word
        {"ld   ax,\tbx", 10, 11, 1},  // past the end
        {"db 1, 'a b' ,2", 7, 6, 5},  // "db 1 ,'a b',2": the string
        {"x = y*2", 4, 4, 1},         // "x =y 2": y after "= "
        {"x = y*2", 6, 6, 1},         // 2 after the "*"
    };
    for (const t_span_case& c : spans) {
        const t_span span = written_span(c.written, c.pos);
        EXPECT_EQ(span.offset, c.offset) << c.written << " at " << c.pos;
        EXPECT_EQ(span.length, c.length) << c.written << " at " << c.pos;
    }
}
