// orbasm: assembles the source file named by the first argument (standard input without one)
// into the image file of the same name with ".orb" appended.
#include "driver/driver.h"
#include "source/source.h"

#include <csignal>
#include <cstdlib>

int main(int argc, char** argv) {
    // A file size limit must fail the write (and be reported), not kill the process; a closed
    // console loses the echo, never the image.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // ORBASM_READ_AHEAD: the size in bytes from which a source is read on a second thread.
    if (const char* bytes = std::getenv("ORBASM_READ_AHEAD"); bytes != nullptr && *bytes != '\0') {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(bytes, &end, 10);
        if (*end == '\0')
            read_ahead_min_bytes = static_cast<std::size_t>(value);
    }
    bool ok = run_assembly(argc > 1 ? argv[1] : "");
    if (!ok) {
        console_wait_enter();
        return 1;
    }
    return 0;
}
