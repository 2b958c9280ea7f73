#pragma once
// Print jobs for the CUPS spooler: a job is opened on a named queue with the page size as its media, fed in
// pieces and closed (or cancelled).  Failures carry the spooler's own message.  Built on libcups when the
// build has it, else on the `lp` command.
#include <cstdint>
#include <string>
#include <string_view>

namespace trazel::platform {

// What a queue prints on by default, in hundredths of a millimetre.
struct QueueMedia {
    std::string name; // the PWG media name ("na_letter_8.5x11in")
    int width = 0, length = 0;
    int left = 0, right = 0, top = 0, bottom = 0; // unprintable margins
};

// The queue's default media and margins; false with the spooler's message in `error` when the queue is
// unknown or cannot say.
bool queue_media(const std::string& queue, QueueMedia& out, std::string& error);

// Document formats a job carries.
inline constexpr const char* kFormatPostScript = "application/postscript";
inline constexpr const char* kFormatRaw = "application/vnd.cups-raw"; // sent to the printer as it is
inline constexpr const char* kFormatPwgRaster = "image/pwg-raster";

class PrintJob {
  public:
    PrintJob();
    ~PrintJob(); // a job not finished is cancelled
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    // Opens a job named `title` on `queue` for one document of `format`, printed on a sheet of
    // width x length hundredths of a millimetre (so the queue's own default never rescales the page).
    bool start(const std::string& queue, const std::string& title, const char* format, int width, int length);
    // Sends a piece of the document; false once anything failed.
    bool write(std::string_view bytes);
    // Ends the document and the job; false when the spooler refused it.
    bool finish();
    // Withdraws the job (a cancelled plot).
    void cancel();

    int job_id() const {
        return job_id_;
    }
    const std::string& error() const {
        return error_;
    }

  private:
    int job_id_ = 0;
    bool open_ = false;
    std::string queue_;
    std::string error_;
};

} // namespace trazel::platform
