// orbasm: assembles the source file named by the first argument (standard input without one)
// into the image file of the same name with ".orb" appended.
#include "driver/driver.h"

#include <csignal>

int main(int argc, char** argv) {
    // A file size limit must fail the write (and be reported), not kill the process; a closed
    // console loses the echo, never the image.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    if (!run_assembly(argc > 1 ? argv[1] : "")) {
        console_wait_enter();
        return 1;
    }
    return 0;
}
