// orbls: the orbasm language server. It speaks the Language Server Protocol over standard input
// and output and assembles each open document in-process, as orbasm would.
#include "tools/orbls/server.h"
#include "tools/orbls/transport.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <unistd.h>

static const char help_text[] =
    "Usage: orbls\n"
    "The orbasm language server: the Language Server Protocol over standard input and output.\n"
    "An editor starts it; it assembles each open document as orbasm does and answers with\n"
    "diagnostics, hovers, definitions, references, symbols and completions.\n"
    "Initialization options: { \"includePaths\": [DIR...], \"defines\": { NAME: VALUE },\n"
    "\"warnings\": { NAME: false } }.\n";

// Milliseconds until the next assembly is due, rounded up; -1 when none is.
static int wait_until_due(const t_server& server) {
    const std::optional<t_clock::time_point> due = next_due(server);
    if (!due)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - t_clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60000));
}

// Sends what the server has to say; false when the client has gone.
static bool flush_output(t_server& server) {
    bool open = true;
    for (const std::string& message : server.output)
        open = open && write_message(1, message);
    server.output.clear();
    return open;
}

int main(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--help") == 0) {
            std::fputs(help_text, stdout);
            return 0;
        }
        if (std::strcmp(argv[k], "--version") == 0) {
            std::fputs("orbls 1.0\n", stdout);
            return 0;
        }
        // "--stdio", which some clients add, names the only transport there is.
        if (std::strcmp(argv[k], "--stdio") != 0) {
            std::fprintf(stderr, "orbls: unknown argument '%s'\n%s", argv[k], help_text);
            return 2;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    t_server server;
    t_transport transport;
    // Messages already waiting are all taken before any assembly: a burst of changes costs one.
    bool quiet = false;
    for (;;) {
        std::string body;
        const t_read read = read_message(transport, quiet ? wait_until_due(server) : 0, body);
        if (read == t_read::end)
            break;
        quiet = read == t_read::timeout;
        try {
            if (read == t_read::message && !handle_message(server, body, t_clock::now()))
                skip_from_body(transport, body);
            else if (read == t_read::bad_frame)
                handle_bad_frame(server, body);
            else if (read == t_read::timeout)
                run_due_assemblies(server, t_clock::now());
        } catch (const std::bad_alloc&) {
            std::fputs("orbls: out of memory\n", stderr);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "orbls: %s\n", error.what());
        }
        if (!flush_output(server) || server.exit_requested)
            break;
    }
    if (server.exit_requested)
        return server.exit_code;
    // The input ended without an exit notification: as the protocol says, after a shutdown 0, else 1.
    return server.shutdown_requested ? 0 : 1;
}
