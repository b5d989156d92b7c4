// orblist as a program: its addresses and bytes agree with the image orbasm writes, its exact
// listing of a small program, and its diagnostics, which are orbasm's.
#include "tools/tool_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

static std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Checks every row of the listing against the image: listed bytes must be the image's bytes at
// the listed address, fills must be zeros, and together they must cover the whole image.
// Returns the problems found, one per line.
static std::string compare_listing(const std::string& listing, const std::vector<uint8_t>& image) {
    std::string problems;
    std::vector<bool> covered(image.size(), false);
    const std::vector<std::string> rows = split_lines(listing);
    if (rows.empty())
        return image.empty() ? "" : "no listing\n";
    // The place column is as wide as the longest "file:line".
    std::size_t place_width = 0;
    for (const std::string& row : rows) {
        if (row.empty())
            break;
        if (row[0] != ' ')
            place_width = std::max(place_width, row.find(' '));
    }
    for (const std::string& row : rows) {
        if (row.empty())
            break; // the symbol table follows
        if (row.size() < place_width + 10 || row[place_width + 2] == ' ')
            continue; // a line that produced nothing
        const std::size_t address = std::stoul(row.substr(place_width + 2, 8), nullptr, 16);
        const std::string field = row.substr(place_width + 12);
        if (field[0] == '[') {
            const std::size_t count = std::stoul(field.substr(field.find(':') + 2));
            for (std::size_t k = address; k < address + count && k < image.size(); ++k) {
                if (image[k] != 0)
                    problems += "fill at " + std::to_string(k) + " is not zero in the image\n";
                covered[k] = true;
            }
            continue;
        }
        for (std::size_t k = 0; k + 1 < field.size() && field[k] != ' '; k += 3) {
            const std::size_t at = address + k / 3;
            const auto byte = static_cast<uint8_t>(std::stoul(field.substr(k, 2), nullptr, 16));
            if (at >= image.size() || image[at] != byte)
                problems += "byte at " + std::to_string(at) + " differs: " + row + "\n";
            else
                covered[at] = true;
            if (k + 2 >= field.size() || field[k + 2] != ' ')
                break;
        }
    }
    for (std::size_t k = 0; k < image.size(); ++k)
        if (!covered[k]) {
            problems += "byte at " + std::to_string(k) + " is in no row\n";
            break;
        }
    return problems;
}

TEST(Orblist, AddressesAndBytesAgreeWithTheImage) {
    const std::vector<std::string> sources = example_sources();
    ASSERT_FALSE(sources.empty());
    int passed = 0;
    for (const std::string& path : sources) {
        t_workdir dir = make_workdir();
        for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path()))
            fs::copy_file(entry.path(), dir.path + "/" + entry.path().filename().string());
        const std::string name = fs::path(path).filename().string();
        t_run assembled = run_orbasm(dir, {name});
        ASSERT_EQ(assembled.exit_code, 0) << assembled.stdout_text;
        fs::remove(dir.path + "/" + name + ".orb");
        t_tool_run listed = run_tool(ORBLIST_BINARY, dir, {name});
        EXPECT_EQ(listed.exit_code, 0);
        EXPECT_FALSE(fs::exists(dir.path + "/" + name + ".orb")) << "orblist wrote an image";
        const std::string problems = compare_listing(listed.out, assembled.image);
        EXPECT_EQ(problems, "") << name << "\n" << listed.out;
        passed += problems.empty() ? 1 : 0;
        remove_workdir(dir);
    }
    std::cout << passed << " of " << sources.size() << " listings agree with their images\n";
}

// Every line is numbered as an editor numbers it: blank lines, and lines of nothing but blanks,
// are counted in the main file and in the included one.
TEST(Orblist, ExactListingOfASmallProgram) {
    t_workdir dir = make_workdir();
    write_file(dir, "t.asm",
               join_lines({"", "#const n = 3", "#const neg = -2", "", "", "@start:", "ld ax,n", "jr @start",
                           "#include \"part.inc\"", "  \t", "#org 20h", "#align 8", "db 'abcdefghij'", "#zero 4",
                           "dd @start,@end", "", "@end:", "#data 2", ""}));
    write_file(dir, "part.inc", join_lines({"", "ret", "", "add ax,neg"}));
    t_tool_run listed = run_tool(ORBLIST_BINARY, dir, {"t.asm"});
    EXPECT_EQ(listed.exit_code, 0);
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(listed.out, "t.asm:2                                        #const n =3\n"
                          "t.asm:3                                        #const neg =-2\n"
                          "t.asm:6     00000000                           @start :\n"
                          "t.asm:7     00000000  00 A8 03 00              ld ax ,n\n"
                          "t.asm:8     00000004  00 B9 FC FF              jr @start\n"
                          "t.asm:9                                        #include \"part.inc\"\n"
                          "part.inc:2  00000008  00 3A                    ret\n"
                          "part.inc:4  0000000A  00 AA FE FF              add ax ,neg\n"
                          "t.asm:11    0000000E  [gap: 18]                #org 20h\n"
                          "t.asm:12    00000020                           #align 8\n"
                          "t.asm:13    00000020  61 62 63 64 65 66 67 68  db 'abcdefghij'\n"
                          "            00000028  69 6A\n"
                          "t.asm:14    0000002A  [zeros: 4]               #zero 4\n"
                          "t.asm:15    0000002E  00 00 00 00 36 00 00 00  dd @start ,@end\n"
                          "t.asm:17    00000036                           @end :\n"
                          "t.asm:18    00000036  [reserved: 2]            #data 2\n"
                          "\n"
                          "Symbols:\n"
                          "@end       00000036  label\n"
                          "@endofexe  00000036  label\n"
                          "@start     00000000  label\n"
                          "n          00000003  constant  3\n"
                          "neg        FFFFFFFE  constant  -2\n");
    EXPECT_FALSE(fs::exists(dir.path + "/t.asm.orb"));
    remove_workdir(dir);
}

// Errors while reading, in an included file, after the last line and in the layout: orblist
// prints exactly the diagnostics of orbasm's command-line form on standard error, and no listing.
TEST(Orblist, ReportsErrorsExactlyAsOrbasm) {
    const std::vector<std::vector<std::string>> sources = {
        {"ld ax,1", "", "jmp c,nz,o,@x", "@x:"},
        {"ld ax,1", "#include \"missing.inc\""},
        {"", "#include \"bad.inc\"", "ret"},
        {"jmp @nowhere"},
        {"dd 1,2,3,4,5", "", "#org 10h", "ret"},
        {"db 'abc"},
        {"#const a = 1", "#const a = 2"},
    };
    for (const std::vector<std::string>& lines : sources) {
        t_workdir dir = make_workdir();
        write_file(dir, "e.asm", join_lines(lines));
        write_file(dir, "bad.inc", join_lines({"ld ax,1", "", "nop"}));
        t_tool_run reference = run_tool(ORBASM_BINARY, dir, {"-o", "e.asm.orb", "e.asm"});
        t_tool_run listed = run_tool(ORBLIST_BINARY, dir, {"e.asm"});
        EXPECT_NE(reference.err, "") << lines[0];
        EXPECT_EQ(listed.err, reference.err) << lines[0];
        EXPECT_EQ(listed.out, "") << lines[0];
        EXPECT_EQ(reference.exit_code, 1);
        EXPECT_EQ(listed.exit_code, 1);
        EXPECT_FALSE(fs::exists(dir.path + "/e.asm.orb"));
        remove_workdir(dir);
    }
}
