// One exported call. The layers below record what goes wrong; the exported
// call shows it, once, in the order it was found: what finding the caller's
// record met, then what was recorded on the connection. It shows before it
// returns, and sooner (show()) where it has boxes or traces of its own to
// follow in their order.
#pragma once

#include "client/connection/connection_table.h"
#include "common/diagnostics.h"

// A report of a call's own, shown when the call ends.
class CallReport {
  public:
    CallReport() { clear_report(&report); }
    ~CallReport() { show_report(&report); }
    CallReport(const CallReport&) = delete;
    CallReport& operator=(const CallReport&) = delete;
    Report report;
};

class ExportCall {
  public:
    enum Accept { OPEN_ONLY, BROKEN_TOO };
    // Finds the caller's record for the handle (a broken connection only with
    // BROKEN_TOO); record() is null when there is none for the caller.
    explicit ExportCall(int handle, Accept accept = OPEN_ONLY)
        : record_(accept == BROKEN_TOO ? find_connection_record(handle, &lookup_.report)
                                       : find_connection(handle, &lookup_.report)) {}
    ~ExportCall() { show(); }
    ExportCall(const ExportCall&) = delete;
    ExportCall& operator=(const ExportCall&) = delete;

    ConnectionRecord* record() const { return record_; }
    // Shows what is recorded so far.
    void show() {
        show_report(&lookup_.report);
        if (record_ != nullptr) show_report(&record_->report);
    }

  private:
    CallReport lookup_;
    ConnectionRecord* record_;
};
