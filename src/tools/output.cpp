// The output of orbdis and orblist, written in blocks through the shared output writer.
#include "tools/output.h"

#include <cstring>

// Text is held until about this much is pending; a longer text goes straight through.
static constexpr std::size_t block_bytes = 1 << 16;

bool open_output(t_output& output, const std::string& name, const std::vector<std::string>& inputs) {
    output.pending.clear();
    output.clash.clear();
    if (output_clash({name}, inputs, output.clash) >= 0) {
        output.file = t_output_file{};
        output.file.name = name;
        return false;
    }
    return output_open(output.file, name);
}

void output_write(t_output& output, std::string_view text) {
    if (output.pending.size() + text.size() < block_bytes) {
        output.pending.append(text);
        return;
    }
    output_put(output.file, output.pending.data(), output.pending.size());
    output.pending.clear();
    output_put(output.file, text.data(), text.size());
}

void output_line(t_output& output, std::string_view text) {
    output_write(output, text);
    output_write(output, "\n");
}

bool close_output(t_output& output) {
    if (!output.clash.empty())
        return false;
    output_put(output.file, output.pending.data(), output.pending.size());
    output.pending.clear();
    return output_commit(&output.file, 1);
}

std::string output_failure(const t_output& output, std::string_view program) {
    const std::string& name = output.file.name;
    const std::string what = name == "-" ? "standard output" : "\"" + name + "\"";
    const std::string reason = !output.clash.empty() ? output.clash : std::strerror(output.file.error);
    return std::string(program) + ": error: cannot write " + what + ": " + reason + "\n";
}
