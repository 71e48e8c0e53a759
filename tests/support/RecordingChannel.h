// A Channel that keeps everything written to it, for asserting on the exact text.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "Utility/Channel.h"

class RecordingChannel : public Channel {
public:
    void printf(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        vprintf(format, args);
        va_end(args);
    }

    void vprintf(const char* format, va_list args) override {
        va_list copy;
        va_copy(copy, args);
        std::string text(static_cast<std::size_t>(std::vsnprintf(nullptr, 0, format, copy)), '\0');
        va_end(copy);
        std::vsnprintf(text.data(), text.size() + 1, format, args);
        writes.push_back(text);
    }

    std::string all() const { return std::accumulate(writes.begin(), writes.end(), std::string()); }

    std::vector<std::string> writes;
};
