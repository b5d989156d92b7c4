// Reading ahead: on a large source this thread reads and normalises lines while a second thread
// echoes and encodes them, in order. The second thread sees exactly the lines, places and order
// that reading alone would give it; an error found while reading is held back until every line
// before it has been echoed and encoded, so the output is the same byte for byte.
#include "driver/driver.h"
#include "encoder/encoder.h"
#include "image/image.h"
#include "source/source.h"
#include "symbols/symbols.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

bool reading_ahead = false;
std::size_t read_ahead_min_bytes = std::size_t(1) << 20;

namespace {
// One line handed over: its text in the batch, where it came from, and whether it is an include
// line (echoed, not encoded). One cache line each: the encoder fetches the lines ahead of it one
// cache line apiece, and reads every field of a line it has fetched.
struct alignas(64) t_handed_line {
    std::size_t offset;
    std::size_t length;
    const std::string* file_name;
    int32_t line_number;
    bool include;
    int8_t label_count;       // labels the line names, up to two
    t_stage_entry entry;      // the stage the line enters if it is an instruction, found while reading
    uint32_t label_hashes[2]; // the low bits of their hashes, which place them in the symbol index
};
static_assert(sizeof(t_handed_line) == 64);

// Characters that go on with a label's name, and those after which an "@" begins one.
constexpr auto make_label_characters() {
    struct {
        bool in_name[256];
        bool before_name[256];
    } table{};
    for (int c = 0; c < 256; ++c)
        table.in_name[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '@';
    for (char c : {' ', ',', '[', '+', '-'})
        table.before_name[static_cast<unsigned char>(c)] = true;
    return table;
}
constexpr auto label_characters = make_label_characters();

// The labels a line names: "@" where a name can begin, and the name characters after it.
int8_t hash_labels(std::string_view line, uint32_t hashes[2]) {
    int8_t count = 0;
    for (std::size_t at = line.find('@'); at != std::string_view::npos && count < 2; at = line.find('@', at + 1)) {
        if (at > 0 && !label_characters.before_name[static_cast<unsigned char>(line[at - 1])])
            continue;
        std::size_t end = at + 1;
        while (end < line.size() && label_characters.in_name[static_cast<unsigned char>(line[end])])
            ++end;
        hashes[count++] = static_cast<uint32_t>(hash_name(line.substr(at, end - at)));
        at = end - 1;
    }
    return count;
}

// How many lines ahead of the line being encoded its labels' index slots, and then their nodes,
// are fetched.
constexpr std::size_t symbol_slot_lead = 8;
constexpr std::size_t symbol_node_lead = 4;

// A batch is handed over when it holds this much; a few batches in flight keep both threads busy
// without holding much of the source in memory.
constexpr std::size_t batch_text_bytes = std::size_t(1) << 18;
constexpr std::size_t batch_lines = 8192;
constexpr int batch_count = 4;
// Room enough that a batch not yet handed over takes any line normalised in the read buffer
// without growing.
constexpr std::size_t batch_text_room = 2 * batch_text_bytes;

// A cache line of its own: the reader grows one batch while the encoder reads another. The text
// is every line with its line feed; lines are normalised straight into it.
struct alignas(64) t_batch {
    std::unique_ptr<char[]> text;
    std::size_t text_size = 0;
    std::size_t text_capacity = 0;
    std::vector<t_handed_line> lines;
};

t_batch batches[batch_count];
std::mutex handover;
std::condition_variable batch_full;  // the encoder waits for a batch to encode
std::condition_variable batch_free;  // the reader waits for a batch to fill
std::deque<int> full_batches;        // batches handed to the encoder, in order
std::deque<int> free_batches;        // batches the reader may fill
bool input_done = false;             // the reader hands over nothing more
bool encoder_failed = false;         // the encoder stopped at a report
std::exception_ptr encoder_exception; // anything else that stopped the encoder

// What the reader reads and writes on every line, on cache lines of its own: the encoding thread
// writes the item list and the symbols on every line, and a cache line shared with them would
// travel between the cores all the time.
struct alignas(64) t_reader_state {
    int filling = -1; // the batch the reader fills; -1 for none
    // Set when the encoder has carved new blocks of run memory for the reader to fault in.
    std::atomic<bool> faults_wanted{false};
    // The name of the file read at each level (see file_names).
    const std::string* level_names[max_nesting + 1];
};
t_reader_state reader_state;

// New blocks of run memory, whose pages the reader faults in while the encoder fills the block
// before: a first touch of a page costs the encoder a fault, and on a large program the faults
// add up to a good part of its time.
std::vector<std::pair<char*, std::size_t>> blocks_to_fault; // guarded by handover

void offer_block(char* start, std::size_t bytes) {
    {
        std::lock_guard<std::mutex> lock(handover);
        blocks_to_fault.emplace_back(start, bytes);
        reader_state.faults_wanted.store(true, std::memory_order_relaxed);
    }
    batch_free.notify_one();
}

// Advice only: where the kernel does not take it, the pages come by faults as before.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; older kernels refuse it
#endif
void fault_in_blocks() {
    std::vector<std::pair<char*, std::size_t>> blocks;
    {
        std::lock_guard<std::mutex> lock(handover);
        blocks.swap(blocks_to_fault);
        reader_state.faults_wanted.store(false, std::memory_order_relaxed);
    }
    constexpr std::uintptr_t page = 4096;
    constexpr std::uintptr_t skipped = 4 * page; // the encoder is about to write there itself
    for (const auto& [start, bytes] : blocks) {
        const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(start) + skipped + page - 1) & ~(page - 1);
        const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(page - 1);
        if (to > from)
            ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
    }
}

// File names outlive their include level: a line handed over may be encoded after its file is
// closed and another opened at the same level.
std::deque<std::string> file_names;

void hand_over_filling() {
    if (reader_state.filling < 0)
        return;
    {
        std::lock_guard<std::mutex> lock(handover);
        full_batches.push_back(reader_state.filling);
    }
    reader_state.filling = -1;
    batch_full.notify_one();
}

// A batch to fill; stops the reader once the encoder has failed.
void take_free_batch() {
    std::unique_lock<std::mutex> lock(handover);
    for (;;) {
        batch_free.wait(lock, [] {
            return !free_batches.empty() || encoder_failed || reader_state.faults_wanted.load(std::memory_order_relaxed);
        });
        if (!reader_state.faults_wanted.load(std::memory_order_relaxed) || encoder_failed)
            break;
        lock.unlock();
        fault_in_blocks();
        lock.lock();
    }
    if (encoder_failed)
        throw t_fatal_stop{}; // the reader stops without a report of its own: the encoder's stands
    reader_state.filling = free_batches.front();
    free_batches.pop_front();
    batches[reader_state.filling].text_size = 0;
    batches[reader_state.filling].lines.clear();
}

// The next batch to encode, or -1 when the reader is done and every batch is encoded.
int take_full_batch() {
    std::unique_lock<std::mutex> lock(handover);
    batch_full.wait(lock, [] { return !full_batches.empty() || input_done; });
    if (full_batches.empty())
        return -1;
    const int batch = full_batches.front();
    full_batches.pop_front();
    return batch;
}

void give_back(int batch) {
    {
        std::lock_guard<std::mutex> lock(handover);
        free_batches.push_back(batch);
    }
    batch_free.notify_one();
}

void stop_encoder(bool failed, std::exception_ptr exception) {
    {
        std::lock_guard<std::mutex> lock(handover);
        encoder_failed = failed || exception != nullptr;
        encoder_exception = exception;
    }
    batch_free.notify_all();
}

// The encoding thread: every handed line is encoded unless it is an include line. A batch's text
// is its echo, each line with its line feed, written at once after the batch; a report is held
// until the echo of the lines up to the failing one is out.
void encode_handed_lines() {
    t_line_place place{};
    t_held_report held{};
    report_place = &place;
    held_report = &held;
    int batch = -1;
    std::size_t echoed_to = 0; // the end of the failing line's echo
    try {
        while ((batch = take_full_batch()) >= 0) {
            const t_batch& lines = batches[batch];
            const std::size_t count = lines.lines.size();
            for (std::size_t k = 0; k < count; ++k) {
                const t_handed_line& line = lines.lines[k];
                // The reader wrote the batch on another core: its lines, and their text, are
                // fetched well before they are needed.
                if (k + 16 < count)
                    __builtin_prefetch(&lines.lines[k + 16]);
                if (k + 8 < count)
                    __builtin_prefetch(lines.text.get() + lines.lines[k + 8].offset);
                // The symbols of the lines ahead are fetched while this one is encoded: a label named
                // at random costs a fetch from memory for its slot and then one for its node, each
                // longer than a few short lines take to encode.
                if (k + symbol_slot_lead < count)
                    for (int8_t n = 0; n < lines.lines[k + symbol_slot_lead].label_count; ++n)
                        prefetch_symbol_slot(lines.lines[k + symbol_slot_lead].label_hashes[n]);
                if (k + symbol_node_lead < count)
                    for (int8_t n = 0; n < lines.lines[k + symbol_node_lead].label_count; ++n)
                        prefetch_symbol_node(lines.lines[k + symbol_node_lead].label_hashes[n]);
                echoed_to = line.offset + line.length + 1;
                if (line.include)
                    continue;
                handed_line = {lines.text.get() + line.offset, line.length};
                place = {*line.file_name, line.line_number};
                known_stage_entry = &line.entry;
                process_line();
                known_stage_entry = nullptr;
            }
            if (echo_enabled)
                console_write({lines.text.get(), lines.text_size});
            give_back(batch);
        }
    } catch (const t_fatal_stop&) {
    } catch (const std::bad_alloc&) {
        held.held = true;
        held.message = "Out of memory";
        held.file_name = place.file_name;
        held.line_number = place.line_number;
        held.fault = line_in_hand();
    } catch (...) {
        stop_encoder(false, std::current_exception());
    }
    report_place = nullptr;
    held_report = nullptr;
    known_stage_entry = nullptr;
    handed_line = {};
    if (held.held) {
        if (echo_enabled)
            console_write({batches[batch].text.get(), echoed_to});
        print_held_report(held);
        stop_encoder(true, nullptr);
    }
}
} // namespace

bool worth_reading_ahead(const std::string& name) {
    struct stat info;
    return !name.empty() && !listing_enabled && name.find('\0') == std::string::npos &&
           ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           static_cast<std::size_t>(info.st_size) >= read_ahead_min_bytes;
}

void name_source_level(const std::string& name) {
    file_names.push_back(name);
    reader_state.level_names[nesting_depth] = &file_names.back();
}

char* line_room(std::size_t bytes) {
    if (reader_state.faults_wanted.load(std::memory_order_relaxed))
        fault_in_blocks();
    if (reader_state.filling >= 0 && (batches[reader_state.filling].text_size >= batch_text_bytes ||
                                      batches[reader_state.filling].lines.size() >= batch_lines))
        hand_over_filling();
    if (reader_state.filling < 0)
        take_free_batch();
    t_batch& batch = batches[reader_state.filling];
    if (batch.text_capacity - batch.text_size < bytes + 1) {
        // A batch gets its room on first use; after that only a line longer than the read
        // buffer makes it grow.
        const std::size_t capacity = std::max({batch_text_room, 2 * batch.text_capacity, batch.text_size + bytes + 1});
        auto text = std::make_unique_for_overwrite<char[]>(capacity);
        if (batch.text_size > 0)
            std::memcpy(text.get(), batch.text.get(), batch.text_size);
        batch.text = std::move(text);
        batch.text_capacity = capacity;
    }
    return batch.text.get() + batch.text_size;
}

void hand_written_line(std::size_t length, bool include) {
    t_batch& batch = batches[reader_state.filling];
    const std::string_view text(batch.text.get() + batch.text_size, length);
    t_handed_line& line = batch.lines.emplace_back();
    line = {batch.text_size, length, reader_state.level_names[nesting_depth], include_stack[nesting_depth].line_number,
            include, 0, t_stage_entry{}, {}};
    if (!include) {
        line.entry = find_stage_entry(text);
        line.label_count = hash_labels(text, line.label_hashes);
    }
    batch.text[batch.text_size + length] = '\n';
    batch.text_size += length + 1;
}

void drain_ahead() {
    hand_over_filling();
    std::unique_lock<std::mutex> lock(handover);
    batch_free.wait(lock, [] { return static_cast<int>(free_batches.size()) == batch_count || encoder_failed; });
    if (encoder_failed)
        throw t_fatal_stop{}; // the reader stops without a report of its own: the encoder's stands
}

void read_source_ahead(const std::string& name) {
    full_batches.clear();
    free_batches.clear();
    for (int batch = 0; batch < batch_count; ++batch)
        free_batches.push_back(batch);
    input_done = encoder_failed = false;
    encoder_exception = nullptr;
    reader_state.filling = -1;
    file_names.clear();

    t_held_report held{};
    std::exception_ptr reader_exception;
    // A name every 128 bytes of source is about what programs hold; the index is sized for it
    // before the first name arrives.
    if (struct stat info; ::stat(name.c_str(), &info) == 0 && info.st_size > 0)
        expect_symbols(static_cast<std::size_t>(info.st_size) / 128);
    blocks_to_fault.clear();
    reader_state.faults_wanted = false;
    std::thread encoder;
    try {
        encoder = std::thread(encode_handed_lines);
    } catch (const std::system_error&) {
        read_source(name); // no second thread to be had: one thread reads and encodes
        return;
    }
    on_new_block = offer_block;
    held_report = &held;
    reading_ahead = true;
    try {
        read_source(name);
    } catch (const t_fatal_stop&) {
    } catch (...) {
        reader_exception = std::current_exception();
    }
    reading_ahead = false;
    held_report = nullptr;
    hand_over_filling(); // the lines before a reader's error are encoded first
    {
        std::lock_guard<std::mutex> lock(handover);
        input_done = true;
    }
    batch_full.notify_one();
    encoder.join();
    on_new_block = nullptr;
    for (t_batch& batch : batches)
        batch = t_batch{}; // a very long line leaves no large buffer behind
    file_names.clear();

    // The first failure in source order decides: the encoder's stands before anything the
    // reader met later.
    if (encoder_exception != nullptr)
        std::rethrow_exception(encoder_exception);
    if (encoder_failed)
        throw t_fatal_stop{};
    if (held.held) {
        print_held_report(held);
        throw t_fatal_stop{};
    }
    if (reader_exception != nullptr)
        std::rethrow_exception(reader_exception);
}
