// orbdis: shows an orbasm image as a listing, or as source that orbasm assembles back into the
// same bytes.
#include "disasm/disasm.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

static const char help_text[] =
    "Usage: orbdis IMAGE\n"
    "       orbdis --source IMAGE\n"
    "       orbdis --help\n"
    "\n"
    "Shows the image file IMAGE, as orbasm writes it, one line per instruction or data item.\n"
    "\n"
    "Without an option it prints a listing: the address in hex, the bytes, and the text in\n"
    "orbasm's syntax. Jump, call and data targets inside the image get labels (@L0040). An image\n"
    "that starts with \"ORBX\" and has 32 bytes opens with its header, each word explained.\n"
    "Words that no instruction gives, and encodings that orbasm would write differently for\n"
    "their text, are shown as data (dw, db, dd).\n"
    "\n"
    "With --source it prints the same decoding as plain orbasm source: labels, instructions and\n"
    "data, without columns. Assembled by orbasm, that source gives back the image byte for byte,\n"
    "whatever bytes the image holds.\n"
    "\n"
    "Exit status: 0 on success, 1 when the image cannot be read, 2 for wrong arguments.\n";

// Reads the whole file; false when it cannot be opened or read, or is too large for an image.
static bool read_image(const char* name, std::vector<uint8_t>& image) {
    int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint8_t buffer[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || image.size() + static_cast<std::size_t>(got) > 0x7FFFFFFF) {
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        image.insert(image.end(), buffer, buffer + got);
    }
    ::close(fd);
    return true;
}

static void write_out(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t wrote = ::write(1, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return;
        done += static_cast<std::size_t>(wrote);
    }
}

int main(int argc, char** argv) {
    bool source = false;
    const char* name = nullptr;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--help") == 0) {
            write_out(help_text);
            return 0;
        }
        if (std::strcmp(argv[k], "--source") == 0 && !source)
            source = true;
        else if (name == nullptr)
            name = argv[k];
        else
            name = "";
    }
    if (name == nullptr || *name == '\0') {
        std::fputs("orbdis: give one image file (orbdis --help explains)\n", stderr);
        return 2;
    }
    std::vector<uint8_t> image;
    if (!read_image(name, image)) {
        std::fprintf(stderr, "orbdis: cannot read %s\n", name);
        return 1;
    }
    const std::vector<t_dis_line> lines = disassemble(image);
    write_out(source ? source_text(lines) : listing_text(image, lines));
    return 0;
}
