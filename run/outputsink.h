#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later

#include <QIODevice>
#include <QString>

#include <charconv>
#include <string>

namespace orb {

// Output collected in a byte string and handed to the device in large pieces, each ending at
// a line end: a trace writes hundreds of thousands of lines a second, and QIODevice::write per
// line costs more than the line itself. The first failed write is remembered and nothing more
// is written after it. A sink given `flushFirst` empties that sink before each of its own
// writes, so that standard error never overtakes standard output.
class OutputSink {
public:
    explicit OutputSink(QIODevice &device, OutputSink *flushFirst = nullptr);
    ~OutputSink();
    OutputSink(const OutputSink &) = delete;
    OutputSink &operator=(const OutputSink &) = delete;

    // Writes what is collected; false when this or an earlier write failed.
    bool flush();
    // Call at a line end: writes once a block is full.
    void flushIfFull()
    {
        if (buffer_.size() >= 1 << 16)
            flush();
    }
    bool failed() const { return failed_; }
    // Why the write failed ("No space left on device"); brokenPipe() when the reader is gone.
    const QString &errorString() const { return errorString_; }
    bool brokenPipe() const { return brokenPipe_; }

    OutputSink &operator<<(char c)
    {
        buffer_ += c;
        return *this;
    }
    OutputSink &operator<<(const char *text)
    {
        buffer_ += text;
        return *this;
    }
    OutputSink &operator<<(const std::string &text)
    {
        buffer_ += text;
        return *this;
    }
    OutputSink &operator<<(const QString &text);
    OutputSink &operator<<(int value)
    {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        buffer_.append(digits, size_t(result.ptr - digits));
        return *this;
    }

private:
    QIODevice &device_;
    OutputSink *flushFirst_;
    std::string buffer_;
    bool failed_ = false;
    bool brokenPipe_ = false;
    QString errorString_;
};

} // namespace orb
