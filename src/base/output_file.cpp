// Output files, written beside their name and put into place when complete. On Linux a new file
// has no name at all until it is complete (O_TMPFILE): whatever ends the process, even SIGKILL,
// nothing of it stays. Then it is linked to a short-lived name beside the target and renamed over
// it, which replaces the older file, a link at the name included, in one step. Where the file
// system refuses an unnamed file, the new file has a short-lived name from the start. Handlers for
// the signals that can be caught remove the short-lived names before the process ends.
#include "base/output_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An output opened here: its descriptor and, while it has one, the short-lived name of the new
// file, for the signal handlers and for abandoning it.
struct t_slot {
    bool used;
    int fd;
    char temporary[PATH_MAX]; // "" while the new file has no name of its own
};

constexpr int slots_max = 8; // a run writes at most an image and a dependency file, a listing
t_slot slots[slots_max];
int slots_used = 0;

// Every signal whose default action ends the process and that a handler can catch. ORDER: earlier
// holds each one's disposition before the handlers, at the same index.
constexpr int caught_signals[] = {SIGHUP, SIGINT,  SIGQUIT, SIGTERM, SIGUSR1,   SIGUSR2,
                                  SIGPIPE, SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF};
constexpr std::size_t caught_count = sizeof caught_signals / sizeof caught_signals[0];
struct sigaction earlier[caught_count];
bool handled[caught_count];

sigset_t caught_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : caught_signals)
        sigaddset(&set, signal);
    return set;
}

// Short-lived names are made and removed with the caught signals held back, so that a handler
// never sees a name half set, nor removes one that another process has taken since.
sigset_t hold_signals() {
    const sigset_t set = caught_set();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &set, &before);
    return before;
}

void release_signals(const sigset_t& before) { sigprocmask(SIG_SETMASK, &before, nullptr); }

void remove_temporaries_and_stop(int signal) {
    for (const t_slot& slot : slots)
        if (slot.used && slot.temporary[0] != '\0')
            ::unlink(slot.temporary);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// A signal that the caller ignored stays ignored, and one with a handler keeps it: handlers take
// the place of the default action only.
void install_handlers() {
    struct sigaction action {};
    action.sa_handler = remove_temporaries_and_stop;
    action.sa_mask = caught_set();
    for (std::size_t k = 0; k < caught_count; ++k) {
        handled[k] = sigaction(caught_signals[k], nullptr, &earlier[k]) == 0 && !(earlier[k].sa_flags & SA_SIGINFO) &&
                     earlier[k].sa_handler == SIG_DFL;
        if (handled[k])
            sigaction(caught_signals[k], &action, nullptr);
    }
}

void restore_handlers() {
    for (std::size_t k = 0; k < caught_count; ++k)
        if (handled[k])
            sigaction(caught_signals[k], &earlier[k], nullptr);
}

int take_slot(int fd) {
    for (int k = 0; k < slots_max; ++k) {
        if (slots[k].used)
            continue;
        if (slots_used++ == 0)
            install_handlers();
        slots[k].used = true;
        slots[k].fd = fd;
        slots[k].temporary[0] = '\0';
        return k;
    }
    return -1;
}

// Removes the short-lived name, if any, closes the descriptor and frees the slot.
void release_slot(int k) {
    t_slot& slot = slots[k];
    if (!slot.used)
        return;
    if (slot.temporary[0] != '\0') {
        const sigset_t before = hold_signals();
        ::unlink(slot.temporary);
        slot.temporary[0] = '\0';
        release_signals(before);
    }
    if (slot.fd >= 0)
        ::close(slot.fd);
    slot.used = false;
    if (--slots_used == 0)
        restore_handlers();
}

bool fail(t_output_file& file, int error) {
    if (file.error == 0)
        file.error = error != 0 ? error : EIO;
    return false;
}

// The output writes to fd from now on, in a slot of its own; a descriptor without one is closed.
bool adopt(t_output_file& file, int fd) {
    file.slot = take_slot(fd);
    if (file.slot < 0) {
        ::close(fd);
        return fail(file, EMFILE);
    }
    file.fd = fd;
    return true;
}

// The descriptor a stream name stands for; -1 for any other name.
int stream_descriptor(const std::string& name) {
    if (name == "-" || name == "/dev/stdout")
        return 1;
    if (name == "/dev/stdin")
        return 0;
    if (name == "/dev/stderr")
        return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::size_t length = std::strlen(prefix);
        if (name.compare(0, length, prefix) != 0 || name.size() == length || name.size() > length + 9)
            continue;
        int fd = 0;
        for (std::size_t k = length; k < name.size(); ++k) {
            if (name[k] < '0' || name[k] > '9')
                return -1;
            fd = fd * 10 + (name[k] - '0');
        }
        return fd;
    }
    return -1;
}

// The folder of name, with its slash ("" for the current folder).
std::string folder_part(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? "" : name.substr(0, slash + 1);
}

// Six letters or digits, different each time: the short-lived names are ".orb" and these, so that
// any name the system accepts for the output leaves room for them.
void unique_letters(char out[7]) {
    static uint64_t state = 0;
    if (state == 0) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        state = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 20) ^
                (static_cast<uint64_t>(::getpid()) << 40) ^ 0x9E3779B97F4A7C15u;
    }
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int k = 0; k < 6; ++k) {
        state ^= state << 13; // xorshift64
        state ^= state >> 7;
        state ^= state << 17;
        out[k] = letters[state % 62];
    }
    out[6] = '\0';
}

// A new file for file's name, in its folder: unnamed where the system allows it. The permissions
// are those of any new file.
bool open_new(t_output_file& file) {
    const std::string folder = folder_part(file.name);
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    // Linking it into place goes through /proc: without /proc it must have a name from the start.
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (fd >= 0 && ::access(self, F_OK) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0)
        return adopt(file, fd);
    const std::string pattern = folder + ".orbXXXXXX";
    if (pattern.size() >= PATH_MAX)
        return fail(file, ENAMETOOLONG);
    file.slot = take_slot(-1);
    if (file.slot < 0)
        return fail(file, EMFILE);
    t_slot& slot = slots[file.slot];
    const sigset_t before = hold_signals();
    std::memcpy(slot.temporary, pattern.c_str(), pattern.size() + 1);
    fd = ::mkostemp(slot.temporary, O_CLOEXEC);
    const int error = errno;
    if (fd < 0)
        slot.temporary[0] = '\0';
    slot.fd = fd;
    release_signals(before);
    if (fd < 0) {
        release_slot(file.slot);
        file.slot = -1;
        return fail(file, error);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file.fd = fd;
    return true;
}

// Gives an unnamed new file a short-lived name beside its target.
bool name_new(t_output_file& file) {
    t_slot& slot = slots[file.slot];
    if (slot.temporary[0] != '\0')
        return true;
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.fd);
    const std::string folder = folder_part(file.name);
    if (folder.size() + 11 > PATH_MAX)
        return fail(file, ENAMETOOLONG);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char letters[7];
        unique_letters(letters);
        const std::string candidate = folder + ".orb" + letters;
        const sigset_t before = hold_signals();
        std::memcpy(slot.temporary, candidate.c_str(), candidate.size() + 1);
        const int linked = ::linkat(AT_FDCWD, self, AT_FDCWD, slot.temporary, AT_SYMLINK_FOLLOW);
        const int error = errno;
        if (linked != 0)
            slot.temporary[0] = '\0';
        release_signals(before);
        if (linked == 0)
            return true;
        if (error != EEXIST)
            return fail(file, error);
    }
    return fail(file, EEXIST);
}

bool put_in_place(t_output_file& file) {
    t_slot& slot = slots[file.slot];
    const sigset_t before = hold_signals();
    const int renamed = ::rename(slot.temporary, file.name.c_str());
    const int error = errno;
    if (renamed == 0)
        slot.temporary[0] = '\0';
    release_signals(before);
    return renamed == 0 || fail(file, error);
}

// What a file is, for telling whether two names are one file; a name that does not exist yet is
// its folder and its last part. An input is the file read, through any link.
struct t_identity {
    bool known;       // false for a device, which any number of outputs may share
    dev_t device;
    ino_t inode;
    std::string leaf; // "" for an existing file
};

t_identity identity_of(const struct stat& status, std::string leaf = "") {
    return {!S_ISCHR(status.st_mode) && !S_ISBLK(status.st_mode), status.st_dev, status.st_ino, std::move(leaf)};
}

t_identity input_identity(const std::string& name) {
    struct stat status {};
    const bool found = name == "-" ? ::fstat(0, &status) == 0 : ::stat(name.c_str(), &status) == 0;
    return found ? identity_of(status) : t_identity{};
}

t_identity output_identity(const std::string& name) {
    struct stat status {};
    if (const int stream = stream_descriptor(name); stream >= 0)
        return ::fstat(stream, &status) == 0 ? identity_of(status) : t_identity{};
    // What is written in place is the file itself; what is replaced is the name, a link included.
    if (::stat(name.c_str(), &status) == 0 && (!S_ISREG(status.st_mode) || name.rfind("/proc/", 0) == 0))
        return identity_of(status);
    if (::lstat(name.c_str(), &status) == 0)
        return identity_of(status);
    const std::string folder = folder_part(name);
    if (::stat(folder.empty() ? "." : folder.c_str(), &status) != 0)
        return {};
    return identity_of(status, name.substr(folder.size()));
}

bool same_file(const t_identity& a, const t_identity& b) {
    return a.known && b.known && a.device == b.device && a.inode == b.inode && a.leaf == b.leaf;
}

} // namespace

int output_clash(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs, std::string& reason) {
    std::vector<t_identity> read;
    for (const std::string& input : inputs)
        read.push_back(input_identity(input));
    std::vector<t_identity> written;
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        written.push_back(output_identity(outputs[k]));
        for (std::size_t j = 0; j < inputs.size(); ++j)
            if (same_file(written[k], read[j])) {
                reason = inputs[j] == "-" ? "it is standard input" : "it is the file read as \"" + inputs[j] + "\"";
                return static_cast<int>(k);
            }
        for (std::size_t j = 0; j < k; ++j)
            if (same_file(written[k], written[j])) {
                reason = "it is also the output \"" + outputs[j] + "\"";
                return static_cast<int>(k);
            }
    }
    return -1;
}

bool output_open(t_output_file& file, const std::string& name) {
    file = t_output_file{};
    file.name = name;
    if (const int stream = stream_descriptor(name); stream >= 0) {
        file.direct = true;
        if (::fcntl(stream, F_GETFL) < 0)
            return fail(file, errno);
        file.fd = stream;
        return true;
    }
    struct stat status {};
    const bool exists = ::stat(name.c_str(), &status) == 0;
    if ((exists && !S_ISREG(status.st_mode)) || name.rfind("/proc/", 0) == 0) {
        file.direct = true;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return fail(file, errno);
        return adopt(file, fd);
    }
    // A read-only file is kept as it is.
    if (exists && ::access(name.c_str(), W_OK) != 0)
        return fail(file, errno);
    file.seekable = true;
    return open_new(file);
}

void output_put(t_output_file& file, const void* bytes, std::size_t count) {
    const char* at = static_cast<const char*>(bytes);
    while (file.error == 0 && count > 0) {
        const ssize_t wrote = ::write(file.fd, at, count);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            fail(file, wrote < 0 ? errno : EIO);
            return;
        }
        at += wrote;
        count -= static_cast<std::size_t>(wrote);
    }
}

void output_skip(t_output_file& file, int64_t count) {
    if (file.error == 0 && ::lseek(file.fd, static_cast<off_t>(count), SEEK_CUR) < 0)
        fail(file, errno);
}

void output_set_length(t_output_file& file, int64_t length) {
    if (file.error == 0 && file.seekable && ::ftruncate(file.fd, static_cast<off_t>(length)) != 0)
        fail(file, errno);
}

bool output_commit(t_output_file* files, std::size_t count) {
    bool ok = true;
    for (std::size_t k = 0; k < count; ++k)
        ok = ok && files[k].error == 0 && files[k].fd >= 0;
    for (std::size_t k = 0; k < count; ++k)
        if (ok && !files[k].direct)
            ok = name_new(files[k]);
    // A late failure of a write shows at the close.
    for (std::size_t k = 0; k < count; ++k) {
        if (files[k].slot < 0)
            continue;
        t_slot& slot = slots[files[k].slot];
        if (slot.fd >= 0 && ::close(slot.fd) != 0 && ok)
            ok = fail(files[k], errno);
        slot.fd = -1;
    }
    // The first file takes its name last: should a later one fail to, the first (the image, which
    // a build tests the age of) keeps its older file and is made again next time.
    for (std::size_t k = count; k-- > 0;)
        if (ok && !files[k].direct)
            ok = put_in_place(files[k]);
    for (std::size_t k = 0; k < count; ++k)
        output_abandon(files[k]);
    return ok;
}

void output_abandon(t_output_file& file) {
    if (file.slot >= 0)
        release_slot(file.slot);
    file.slot = -1;
    file.fd = -1;
}

void output_abandon_all() {
    for (int k = 0; k < slots_max; ++k)
        release_slot(k);
}
