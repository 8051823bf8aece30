#include "progress.h"

#include <unistd.h>

#include <cstdio>

ProgressBar::ProgressBar(const std::string& label, bool quiet) : label(label), shown(!quiet && isatty(STDERR_FILENO))
{
}

zentrova::Progress ProgressBar::callback()
{
    if (!shown)
        return nullptr;
    return [this](size_t sent, size_t total) {
        std::fprintf(stderr, "\r%s", line(label, sent, total).c_str());
        std::fflush(stderr);
        drawn = true;
    };
}

void ProgressBar::finish()
{
    if (drawn)
        std::fputc('\n', stderr);
    drawn = false;
}

std::string ProgressBar::line(const std::string& label, size_t sent, size_t total, size_t width)
{
    if (sent > total)
        sent = total;
    const size_t marks = total ? sent * width / total : width;
    const unsigned percent = total ? static_cast<unsigned>(sent * 100 / total) : 100u;
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "] %3u%%  %zu/%zu bytes", percent, sent, total);
    return label + " [" + std::string(marks, '#') + std::string(width - marks, '.') + numbers;
}
