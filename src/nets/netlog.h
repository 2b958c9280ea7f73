#pragma once
// The status and log file service of the connectivity functions and the autorouter, and the logged
// Net scan (`WriteNetScanLog`) that writes the "NETSCAN ERROR LOG".
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "nets/net_state.h"

namespace trazel::model {
class OutBuffer;
}

namespace trazel::nets {

// A log file: the title line first, then lines with trailing blanks removed and CR LF line ends.  The
// text goes to a temporary file beside the target that replaces it only on a successful close, so a log
// that cannot be written leaves the old one as it was.  Without an open file the lines still reach `echo`.
class Log {
  public:
    Log();
    ~Log(); // a log that was not closed is thrown away
    Log(Log&&) noexcept;
    Log& operator=(Log&&) noexcept;

    // `OpenLog`: the file is `path`; false when it cannot be created (the caller shows "File Open Error"
    // and goes on without a file).  The title line: the title at column 0, `doc_name` centred between the
    // end of the title and column width - 8, the date MM/DD/YY ending at column `width`.
    bool open(const std::string& path, std::string_view title, std::string_view doc_name, int width, std::tm date);
    // `LogWrite`: one line (without its line end).
    void line(std::string_view text);
    // Raw text (the form feed).
    void raw(std::string_view text);
    // `LogClose`: flushes and closes; false when no file was open or it could not be written (an old
    // file stays).
    bool close();
    bool is_open() const {
        return out_ != nullptr;
    }
    // Why the file could not be opened or written.
    const std::string& error() const {
        return error_;
    }
    // Each line written also goes here, title line included (the log shown as a Document).
    std::function<void(std::string_view)> echo;

  private:
    std::unique_ptr<model::OutBuffer> out_;
    std::string error_;
};

// The title line of a log (without line end): `title` at column 0, `doc_name` centred between the end of
// the title and column `width` - 8, and the date MM/DD/YY ending at column `width`.
std::string title_line(std::string_view title, std::string_view doc_name, int width, const std::tm& date);

// The log's date: the clock, or SOURCE_DATE_EPOCH (UTC) when it is set.
std::tm log_date();
// The log file of a Document: its file name followed by ".LOG".
std::string log_path(const model::Document& doc);

struct ScanSummary {
    int nets = 0, errors = 0;
    bool interrupted = false;
};
// `WriteNetScanLog`: the logged scan of every Signal into `log` (opened, or not when the file could not
// be created: the lines then only reach its echo); ends with the clearance parameters, the summary line
// and a form feed.  A Signal's old Ratnest lines are deleted before it is scanned, so a second scan does
// not add its lines again.  The changes (Ratnest lines deleted and added, duplicates deleted,
// Signals propagated) stay in the Document, recorded with `s.undo_number`.  A finished scan clears every
// mark; an interrupted one (or a trace that found nothing) stops there, leaving the net it was on marked.
ScanSummary write_net_scan_log(NetState& s, Log& log);
// The summary line: "1 net scanned, no errors detected."
std::string summary_line(const ScanSummary& r);

} // namespace trazel::nets
