// doPfg: one generation into pfg.log and an image file, written once.
#include "zentrova/profile/pfg.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "profile/generator.h"
#include "profile/pfg_log.h"
#include "profile/pfg_state.h"

namespace {

constexpr const char* kLogFile = "pfg.log";

// A log sink on a C stream: pfg.log, or standard output for the progress lines.
class StreamSink : public PfgLogSink {
public:
    std::FILE* file = nullptr;
    void write(const char* text, size_t length) override { std::fwrite(text, 1, length, file); }
    void flush() override { std::fflush(file); }
};

StreamSink g_logFile;

// A new file beside the destination that becomes the destination by rename,
// so that the destination is never seen half written and a failed
// generation leaves it as it was. Removed again unless renamed.
class TemporaryImage {
public:
    explicit TemporaryImage(const std::string& destination) : path_(destination + ".partial-XXXXXX")
    {
        fd_ = mkstemp(&path_[0]);
        error_ = fd_ < 0 ? errno : 0;
    }
    ~TemporaryImage()
    {
        if (fd_ >= 0)
            close(fd_);
        if (fd_ != kRenamed)
            unlink(path_.c_str());
    }
    TemporaryImage(const TemporaryImage&) = delete;
    TemporaryImage& operator=(const TemporaryImage&) = delete;

    bool created() const { return fd_ >= 0; }
    /// The system's text for the last failure.
    const char* error() const { return std::strerror(error_); }

    bool write(const std::vector<uint8_t>& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : ENOSPC;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        // mkstemp creates the file for its owner only; an image is an
        // ordinary file, as fopen would have made it.
        const mode_t mask = umask(0);
        umask(mask);
        bool ok = fchmod(fd_, 0666 & ~mask) == 0;
        if (!ok)
            error_ = errno;
        if (close(fd_) != 0 && ok) {
            ok = false;
            error_ = errno;
        }
        fd_ = -1;
        return ok;
    }

    bool renameTo(const std::string& destination)
    {
        if (std::rename(path_.c_str(), destination.c_str()) != 0) {
            error_ = errno;
            return false;
        }
        fd_ = kRenamed;
        return true;
    }

private:
    static constexpr int kRenamed = -2;
    std::string path_;
    int fd_ = -1;
    int error_ = 0;
};

// Whether the two names are one file: the same device and inode when both
// exist, else the same name.
bool sameFile(const char* a, const char* b)
{
    struct stat sa, sb;
    if (stat(a, &sa) == 0 && stat(b, &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
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
    // Writing the image over its own JSON file would destroy the user's profiles.
    if (jsonFile != nullptr && sameFile(jsonFile, outputFile)) {
        pfg_log_line("%-16s the profile image '%s' is the JSON file '%s'\n", PFG_TAG_ERROR, outputFile, jsonFile);
        return;
    }
    // What fopen(outputFile, "wb") would refuse is refused here too: a
    // directory, or an existing file that may not be written.
    struct stat st;
    int refused = 0;
    if (stat(outputFile, &st) == 0) {
        if (S_ISDIR(st.st_mode))
            refused = EISDIR;
        else if (access(outputFile, W_OK) != 0)
            refused = errno;
    }
    std::optional<TemporaryImage> out;
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
    if (!out->write(bytes)) {
        pfg_log_line("%-16s writing '%s' failed: %s\n", PFG_TAG_ERROR, outputFile, out->error());
        logNoImage(outputFile);
        return;
    }
    pfg_log_image(bytes);
    if (!out->renameTo(outputFile)) {
        pfg_log_line("%-16s writing '%s' failed: %s\n", PFG_TAG_ERROR, outputFile, out->error());
        logNoImage(outputFile);
    }
}

} // namespace

void init(void)
{
    if (g_logFile.file != nullptr)
        std::fclose(g_logFile.file);
    g_logFile.file = std::fopen(kLogFile, "a");
    pfg_state.log = g_logFile.file != nullptr ? &g_logFile : nullptr;
    pfg_state.progress = pfg_stdout_sink();
    pfg_reset_generation();
}

void deinit(void)
{
    if (g_logFile.file != nullptr)
        std::fclose(g_logFile.file);
    g_logFile.file = nullptr;
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
