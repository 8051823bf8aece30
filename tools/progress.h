// The progress bar of uploads: percentage and bytes, redrawn in place on
// standard error when that is a terminal; nothing at all otherwise, or with
// --quiet.
#ifndef ZENTROVA_TOOL_PROGRESS_H
#define ZENTROVA_TOOL_PROGRESS_H

#include <cstddef>
#include <string>

#include "zentrova/device/Session.h"

class ProgressBar {
public:
    ProgressBar(const std::string& label, bool quiet);
    ~ProgressBar() { finish(); }
    /// The Session operations' progress callback, drawing this bar.
    zentrova::Progress callback();
    /// Ends the bar's line once something was drawn.
    void finish();

    /// "label [#####.....]  50%  4096/8192 bytes" for `width` marks.
    static std::string line(const std::string& label, size_t sent, size_t total, size_t width = 30);

private:
    std::string label;
    bool shown;
    bool drawn = false;
};

#endif
