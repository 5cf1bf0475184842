// What the error handler and crash reporting hand to the collector route
// (tamberlin/errors/report_route.h). Each asks for consent first and does
// nothing while the route is off. Never throws.
#pragma once

#include "report/report.h"
#include "tamberlin/runtime/current_error.h"

#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::errors {

// A trapped error after its dialog: the composed message and the error log.
void SubmitTrappedError(std::string_view message, std::string_view operation,
                        const runtime::CurrentError& error) noexcept;

// The crashes shown at this start, one fatal report each; asked about once.
struct CrashToSubmit {
    std::string record;    // the record's text
    std::string dump_path; // the minidump, empty when none
};
void SubmitCrashes(const std::vector<CrashToSubmit>& crashes) noexcept;

// Whether these reports may go: the kept answer, else the user's now.
bool MaySend(const std::vector<report::Report>& reports);

} // namespace tamberlin::errors
