// doPfg: one generation into pfg.log and an image file, written once.
#include "zentrova/profile/pfg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "profile/generator.h"
#include "profile/pfg_log.h"
#include "profile/pfg_state.h"
#include "util/file_handle.h"

namespace {

constexpr const char* kLogFile = "pfg.log";

// pfg.log, open for appending from init() to deinit(). Every line is in the
// file before the generation does anything that can be seen from outside the
// process: before a progress line on standard output, before the image file
// is created, written or renamed into place, and before doPfg returns. Lines
// that end between two such moments go to the file in one write (and at the
// latest every 64 KiB): a reader of the log, or a process that dies, finds
// every line up to a flush point, as if each line had been written on its
// own, while the compiler makes one system call where it would make hundreds.
class LogFile : public PfgLogSink {
public:
    ~LogFile() override { close(); }

    bool open(const char* name)
    {
        close();
        fd_ = zentrova::FileDescriptor(::open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
        return static_cast<bool>(fd_);
    }

    void close()
    {
        sync();
        fd_.reset();
    }

    void write(const char* text, size_t length) override
    {
        try {
            pending_.append(text, length);
        } catch (const std::bad_alloc&) {
            // No room to gather: what came before, then this text, directly.
            sync();
            zentrova::writeAll(fd_.get(), text, length);
        }
    }

    // The end of a line: in the file at the next sync, or now when much is gathered.
    void flush() override
    {
        if (pending_.size() >= kGathered)
            sync();
    }

    void sync() override
    {
        if (fd_ && !pending_.empty())
            zentrova::writeAll(fd_.get(), pending_.data(), pending_.size());
        pending_.clear();
    }

private:
    static constexpr size_t kGathered = 64 * 1024;

    zentrova::FileDescriptor fd_;
    std::string pending_;
};

LogFile g_logFile;

// A new file beside the destination that becomes the destination by rename,
// so that the destination is never seen half written and a failed
// generation leaves it as it was. Removed again unless renamed. It is
// created as fopen(destination, "wb") would create the destination (mode
// 0666 less the umask), under a name that no other file has.
class TemporaryImage {
public:
    explicit TemporaryImage(const std::string& destination)
    {
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            path_ = destination + ".partial-" + uniqueSuffix();
            fd_ = zentrova::FileDescriptor(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd_ || errno != EEXIST)
                break;
        }
        error_ = fd_ ? 0 : errno;
        state_ = fd_ ? State::Created : State::None;
    }
    ~TemporaryImage()
    {
        fd_.reset();
        if (state_ == State::Created) {
            pfg_log_sync();
            unlink(path_.c_str());
        }
    }
    TemporaryImage(const TemporaryImage&) = delete;
    TemporaryImage& operator=(const TemporaryImage&) = delete;

    bool created() const { return state_ != State::None; }
    /// The system's text for the last failure.
    const char* error() const { return std::strerror(error_); }

    bool write(const std::vector<uint8_t>& bytes)
    {
        error_ = zentrova::writeAll(fd_.get(), bytes.data(), bytes.size());
        if (fd_.reset() != 0 && error_ == 0)
            error_ = errno;
        return error_ == 0;
    }

    bool renameTo(const std::string& destination)
    {
        if (std::rename(path_.c_str(), destination.c_str()) != 0) {
            error_ = errno;
            return false;
        }
        state_ = State::Renamed;
        return true;
    }

private:
    enum class State { None, Created, Renamed };
    static constexpr int kAttempts = 100;

    // Six letters and digits, different from call to call and from process
    // to process.
    static std::string uniqueSuffix()
    {
        static std::atomic<uint64_t> calls{0};
        const uint64_t now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        uint64_t x = now ^ (static_cast<uint64_t>(getpid()) << 40) ^ (calls.fetch_add(1) * 0x9E3779B97F4A7C15u);
        // splitmix64's finaliser spreads every input bit over the result.
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
        x ^= x >> 31;
        static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::string suffix(6, ' ');
        for (char& c : suffix) {
            c = kDigits[x % 62];
            x /= 62;
        }
        return suffix;
    }

    std::string path_;
    zentrova::FileDescriptor fd_;
    State state_ = State::None;
    int error_ = 0;
};

// Whether the file named `a` is `b`, whose status is `sb` (null when `b`
// does not exist): the same device and inode when both exist, else the same
// name.
bool sameFile(const char* a, const char* b, const struct stat* sb)
{
    struct stat sa;
    if (sb != nullptr && stat(a, &sa) == 0)
        return sa.st_dev == sb->st_dev && sa.st_ino == sb->st_ino;
    return std::strcmp(a, b) == 0;
}

void logNoImage(const char* outputFile)
{
    if (outputFile != nullptr)
        pfg_log_line("%-16s no profile image written to '%s'\n", PFG_TAG_ERROR, outputFile);
}

void generate(const char* jsonFile, int rightHand, const char* profileName, const char* outputFile)
{
    if (!pfg_check_name(profileName)) {
        logNoImage(outputFile);
        return;
    }
    if (outputFile == nullptr) {
        pfg_log_line("%-16s no output file given\n", PFG_TAG_ERROR);
        return;
    }
    struct stat st;
    const bool outputExists = stat(outputFile, &st) == 0;
    // Writing the image over its own JSON file would destroy the user's profiles.
    if (jsonFile != nullptr && sameFile(jsonFile, outputFile, outputExists ? &st : nullptr)) {
        pfg_log_line("%-16s the profile image '%s' is the JSON file '%s'\n", PFG_TAG_ERROR, outputFile, jsonFile);
        return;
    }
    // What fopen(outputFile, "wb") would refuse is refused here too: a
    // directory, or an existing file that may not be written.
    int refused = 0;
    if (outputExists) {
        if (S_ISDIR(st.st_mode))
            refused = EISDIR;
        else if (access(outputFile, W_OK) != 0)
            refused = errno;
    }
    std::optional<TemporaryImage> out;
    pfg_log_sync();
    if (refused == 0)
        out.emplace(outputFile);
    if (!out || !out->created()) {
        pfg_log_line("%-16s cannot create the profile image '%s': %s\n", PFG_TAG_ERROR, outputFile,
                     out ? out->error() : std::strerror(refused));
        return;
    }
    const std::optional<zentrova::ProfileImage> image = pfg_build(jsonFile, nullptr, rightHand, profileName);
    if (!image) {
        logNoImage(outputFile);
        return;
    }
    const std::vector<uint8_t> bytes = image->serialize();
    pfg_log_sync();
    if (!out->write(bytes)) {
        pfg_log_line("%-16s writing '%s' failed: %s\n", PFG_TAG_ERROR, outputFile, out->error());
        logNoImage(outputFile);
        return;
    }
    pfg_log_image(bytes);
    pfg_log_sync();
    if (!out->renameTo(outputFile)) {
        pfg_log_line("%-16s writing '%s' failed: %s\n", PFG_TAG_ERROR, outputFile, out->error());
        logNoImage(outputFile);
    }
}

} // namespace

void init(void)
{
    pfg_state.log = g_logFile.open(kLogFile) ? &g_logFile : nullptr;
    pfg_state.progress = pfg_stdout_sink();
    pfg_reset_generation();
}

void deinit(void)
{
    g_logFile.close();
    pfg_state.log = nullptr;
}

int doPfg(const char* jsonFile, int rightHand, const char* profileName, const char* outputFile)
{
    std::lock_guard<std::mutex> lock(pfg_generation_mutex());
    init();
    try {
        generate(jsonFile, rightHand, profileName, outputFile);
    } catch (...) {
        pfg_log_line("%-16s profile generation failed unexpectedly\n", PFG_TAG_ERROR);
        logNoImage(outputFile);
    }
    deinit();
    return 0;
}
