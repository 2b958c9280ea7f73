// Print jobs through libcups: the queue's default media, and a job fed piece by piece.
#include "platform/print.h"

#ifdef TRAZEL_HAVE_CUPS
#include <cups/cups.h>
#endif

namespace trazel::platform {

#ifdef TRAZEL_HAVE_CUPS

namespace {

std::string last_error(const char* fallback) {
    const char* s = cupsLastErrorString();
    return s != nullptr && *s != 0 ? std::string(s) : std::string(fallback);
}

// The queue as the spooler describes it; null with the message when it does not know the name.
cups_dest_t* find_dest(const std::string& queue, std::string& error) {
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), nullptr);
    if (dest == nullptr) {
        error = last_error("The printer or class does not exist.");
    }
    return dest;
}

} // namespace

bool queue_media(const std::string& queue, QueueMedia& out, std::string& error) {
    cups_dest_t* dest = find_dest(queue, error);
    if (dest == nullptr) {
        return false;
    }
    cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
    cups_size_t size{};
    bool ok = info != nullptr && cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest, info, 0, &size) != 0;
    if (ok) {
        out.name = size.media;
        out.width = size.width;
        out.length = size.length;
        out.left = size.left;
        out.right = size.right;
        out.top = size.top;
        out.bottom = size.bottom;
    } else {
        error = last_error("The printer does not report its default media.");
    }
    if (info != nullptr) {
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
    return ok;
}

PrintJob::PrintJob() = default;

PrintJob::~PrintJob() {
    if (open_) {
        cancel();
    }
}

bool PrintJob::start(const std::string& queue, const std::string& title, const char* format, int width,
                     int length) {
    queue_ = queue;
    // A queue that is unknown is refused here with the spooler's words (as `lp` gives them), before any
    // job exists.
    cups_dest_t* dest = find_dest(queue, error_);
    if (dest == nullptr) {
        return false;
    }
    cupsFreeDests(1, dest);
    cups_option_t* options = nullptr;
    int count = 0;
    if (pwg_media_t* media = pwgMediaForSize(width, length); media != nullptr && media->pwg != nullptr) {
        count = cupsAddOption("media", media->pwg, count, &options);
    }
    job_id_ = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.c_str(), title.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (job_id_ == 0) {
        error_ = last_error("The job could not be created.");
        return false;
    }
    open_ = true;
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.c_str(), job_id_, title.c_str(), format, 1) !=
        HTTP_STATUS_CONTINUE) {
        error_ = last_error("The document could not be started.");
        cancel();
        return false;
    }
    return true;
}

bool PrintJob::write(std::string_view bytes) {
    if (!open_) {
        return false;
    }
    if (bytes.empty()) {
        return true;
    }
    if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, bytes.data(), bytes.size()) != HTTP_STATUS_CONTINUE) {
        error_ = last_error("The spooler stopped taking the job.");
        cancel();
        return false;
    }
    return true;
}

bool PrintJob::finish() {
    if (!open_) {
        return false;
    }
    open_ = false;
    ipp_status_t st = cupsFinishDocument(CUPS_HTTP_DEFAULT, queue_.c_str());
    if (st > IPP_STATUS_OK_CONFLICTING) {
        error_ = last_error("The spooler refused the job.");
        return false;
    }
    return true;
}

void PrintJob::cancel() {
    if (job_id_ != 0) {
        if (open_) {
            // Ends the request that is under way so the connection can carry the cancel.
            cupsFinishDocument(CUPS_HTTP_DEFAULT, queue_.c_str());
        }
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue_.c_str(), job_id_, 1);
    }
    open_ = false;
}

#else // no libcups in this build

namespace {
constexpr const char* kNoCups = "This build cannot print: it was made without the CUPS library.";
}

bool queue_media(const std::string&, QueueMedia&, std::string& error) {
    error = kNoCups;
    return false;
}

PrintJob::PrintJob() = default;
PrintJob::~PrintJob() = default;

bool PrintJob::start(const std::string& queue, const std::string&, const char*, int, int) {
    queue_ = queue;
    error_ = kNoCups;
    return false;
}

bool PrintJob::write(std::string_view) {
    return open_;
}

bool PrintJob::finish() {
    return open_;
}

void PrintJob::cancel() {
    open_ = false;
}

#endif

} // namespace trazel::platform
