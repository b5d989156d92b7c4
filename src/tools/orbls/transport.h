// The JSON-RPC transport: messages framed by a "Content-Length" header, as the Language Server
// Protocol sends them over standard input and output.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// One direction of input: the bytes read and not yet taken as messages.
struct t_transport {
    int fd = 0;              // where messages are read from
    std::string pending;     // bytes read, not yet taken
    std::size_t scanned = 0; // bytes at the start of pending already searched, so none is searched twice
    bool skipping = false;   // after a framing fault: bytes are dropped up to the next "Content-Length:"
    bool at_end = false;     // the input has ended
};

// What read_message found.
enum class t_read : int {
    message,   // body holds one message
    bad_frame, // a header that frames no message; body holds the reason. Bytes are then dropped up
               // to the next "Content-Length:", wherever it stands
    timeout,   // no whole message arrived in time
    end,       // the input ended (a partial message at the end is dropped)
};

// The largest header block and body accepted: anything longer is a bad frame.
constexpr std::size_t max_header_bytes = 8192;
constexpr std::size_t max_body_bytes = std::size_t(1) << 30;

// Takes the next message out of transport.pending if it holds one whole; reads more from the
// file otherwise, waiting at most timeout_ms (-1: as long as it takes, 0: not at all).
t_read read_message(t_transport& transport, int timeout_ms, std::string& body);
// Takes a message out of bytes already held, without reading; timeout when none is whole.
t_read take_message(t_transport& transport, std::string& body);
// After a body that is no JSON, the length that framed it may have been wrong: the next message
// is looked for from the body's second byte on, as if the body had never been taken.
void skip_from_body(t_transport& transport, std::string_view body);
// The message with its header, as written to the output.
std::string frame_message(std::string_view body);
// Writes the framed message to fd whole; false when the output is closed.
bool write_message(int fd, std::string_view body);
