// echo_floor: the floor the assembler's speed is measured against. It reads the named file line
// by line and writes every line to standard output, ended by a line feed: the honest cost of
// reading a source and echoing it, with no normalisation, matching or layout.
#include <cstdio>
#include <cstdlib>
#include <sys/types.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: echo_floor FILE\n", stderr);
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    // Large buffers on both sides, as the assembler has: a read or write per 1 MiB, not per line.
    static char in_buffer[1 << 20];
    static char out_buffer[1 << 20];
    std::setvbuf(in, in_buffer, _IOFBF, sizeof in_buffer);
    std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);

    char* line = nullptr;
    std::size_t capacity = 0;
    ssize_t got;
    while ((got = ::getline(&line, &capacity, in)) > 0) {
        auto length = static_cast<std::size_t>(got);
        // The line ends at its CR LF, CR or LF; the echo ends every line with one LF.
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
            --length;
        std::fwrite(line, 1, length, stdout);
        std::putchar('\n');
    }
    std::free(line);
    std::fclose(in);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
