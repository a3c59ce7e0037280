// SPDX-License-Identifier: GPL-3.0-or-later

#include "run/outputsink.h"

#include <cerrno>

using namespace Qt::StringLiterals;

namespace orb {

OutputSink::OutputSink(QIODevice &device, OutputSink *flushFirst)
    : device_(device), flushFirst_(flushFirst)
{
}

OutputSink::~OutputSink()
{
    flush();
}

bool OutputSink::flush()
{
    if (flushFirst_)
        flushFirst_->flush();
    if (failed_) {
        buffer_.clear();
        return false;
    }
    qsizetype done = 0;
    while (done < qsizetype(buffer_.size())) {
        errno = 0;
        const qint64 written = device_.write(buffer_.data() + done, qint64(buffer_.size()) - done);
        if (written <= 0) {
            brokenPipe_ = errno == EPIPE;
            failed_ = true;
            errorString_ = device_.errorString();
            if (errorString_.isEmpty() || errorString_ == u"Unknown error"_s)
                errorString_ = written == 0 ? u"nothing was written"_s : u"write failed"_s;
            break;
        }
        done += qsizetype(written);
    }
    buffer_.clear();
    return !failed_;
}

OutputSink &OutputSink::operator<<(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    buffer_.append(utf8.constData(), size_t(utf8.size()));
    return *this;
}

} // namespace orb
