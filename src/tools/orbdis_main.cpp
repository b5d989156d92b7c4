// orbdis: shows an orbasm image as a listing, or as source that orbasm assembles back into the
// same bytes.
#include "disasm/disasm.h"
#include "tools/output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <new>
#include <string>
#include <unistd.h>

static const char help_text[] =
    "Usage: orbdis [OPTION]... IMAGE\n"
    "Shows the image file IMAGE, as orbasm writes it, one line per instruction or data item.\n"
    "\n"
    "  -o, --output=FILE     write to FILE instead of standard output (\"-\" for standard output)\n"
    "      --source          print orbasm source instead of the listing\n"
    "      --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Without --source it prints a listing: the address in hex, the bytes, and the text in\n"
    "orbasm's syntax. Jump, call and data targets inside the image get labels (@L0040). An image\n"
    "that starts with \"ORBX\" and has 32 bytes opens with its header, each word explained.\n"
    "Words that no instruction gives, and encodings that orbasm would write differently for\n"
    "their text, are shown as data (dw, db, dd).\n"
    "\n"
    "With --source it prints the same decoding as plain orbasm source: labels, instructions and\n"
    "data, without columns. Assembled by orbasm, that source gives back the image byte for byte,\n"
    "whatever bytes the image holds.\n"
    "\n"
    "Exit status: 0 on success, 1 when the image cannot be read or the output cannot be written,\n"
    "2 for a usage error.\n";

// Reads the whole file: 0, or the errno of the failure (EFBIG for a file too large for an image).
static int read_image(const char* name, std::vector<uint8_t>& image) {
    int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    uint8_t buffer[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        const int failure = got < 0 ? errno : image.size() + static_cast<std::size_t>(got) > 0x7FFFFFFF ? EFBIG : 0;
        if (failure != 0 || got == 0) {
            ::close(fd);
            return failure;
        }
        image.insert(image.end(), buffer, buffer + got);
    }
}

static int usage_error(const std::string& message) {
    std::fputs(message.c_str(), stderr);
    std::fputs("Try 'orbdis --help' for more information.\n", stderr);
    return 2;
}

static int run_orbdis(int argc, char** argv) {
    // A file size limit must fail the write (and be reported), not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // getopt names the program in its messages as ours do, however it was started.
    static char program_name[] = "orbdis";
    argv[0] = program_name;
    enum { source_option = 256, help_option, version_option };
    static const option long_options[] = {
        {"output", required_argument, nullptr, 'o'},
        {"source", no_argument, nullptr, source_option},
        {"help", no_argument, nullptr, help_option},
        {"version", no_argument, nullptr, version_option},
        {nullptr, 0, nullptr, 0},
    };
    bool source = false;
    std::string output_name = "-";
    for (int option; (option = ::getopt_long(argc, argv, "o:", long_options, nullptr)) != -1;) {
        switch (option) {
        case 'o':
            // An empty name names no file: it is not taken for "no name given".
            if (optarg[0] == '\0')
                return usage_error("orbdis: empty file name for -o\n");
            output_name = optarg;
            break;
        case source_option: source = true; break;
        case help_option: std::fputs(help_text, stdout); return 0;
        case version_option: std::fputs("orbdis 1.0\n", stdout); return 0;
        default: return usage_error(""); // getopt has said what was wrong
        }
    }
    if (optind == argc)
        return usage_error("orbdis: no image file given\n");
    if (argc - optind > 1)
        return usage_error("orbdis: one image at a time, not " + std::to_string(argc - optind) + "\n");
    const char* name = argv[optind];
    std::vector<uint8_t> image;
    if (const int failure = read_image(name, image); failure != 0) {
        std::fprintf(stderr, "orbdis: error: cannot read \"%s\": %s\n", name, std::strerror(failure));
        return 1;
    }
    const std::vector<t_dis_line> lines = disassemble(image);
    // The output is opened only now: an image that cannot be read leaves an older output as it was.
    t_output output;
    if (open_output(output, output_name, {name}))
        output_write(output, source ? source_text(lines) : listing_text(image, lines));
    if (!close_output(output)) {
        std::fputs(output_failure(output, "orbdis").c_str(), stderr);
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return run_orbdis(argc, argv);
    } catch (const std::bad_alloc&) {
        output_abandon_all();
        std::fputs("orbdis: error: Out of memory\n", stderr);
        return 1;
    }
}
