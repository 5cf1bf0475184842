// The error reports waiting in the Outbox: those that could not be handed to
// a mail client when they were made. At the next start the application says
// how many wait and where, and offers to send them now.
#pragma once

#include "tamberlin/mail/mapi_controls.h"

#include <cstdint>
#include <string>

namespace tamberlin::errors {

// The Outbox folder beside the error log, without a separator at the end.
std::string OutboxFolder();

// One line saying how many reports wait and where, with what can be done;
// empty when none wait. Never throws.
std::string WaitingReportsNotice() noexcept;

// Hands each waiting report to the mail client through the e-mail setting's
// route, one message each with the report file attached. A report handed
// over moves to the Outbox's "Sent" folder (the newest 20 kept there), so a
// client that fails later has not lost it. How many were handed over; stops
// at the first that is not. Never throws.
int SendWaitingReports(std::uintptr_t parent_window, modQFEmailClient::MAPISession& session,
                       modQFEmailClient::MAPIMessages& messages) noexcept;

} // namespace tamberlin::errors
