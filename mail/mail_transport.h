// The mail route: a report handed to the user's mail client as one message
// to support, through the transport the e-mail setting names (SendEmail with
// lngEmailTransport and blnEmailResolveName), and the Outbox, the queue of
// reports that could not be handed over.
#pragma once

#include "report/transport.h"
#include "tamberlin/mail/mapi_controls.h"

#include <cstdint>
#include <functional>
#include <string>

namespace modQFEmailClient {

inline constexpr const char* kSupportAddress = "support@quillfern.example";

class MailTransport final : public tamberlin::report::ReportTransport {
public:
    // `outbox`: the queue's folder (its parent is made when missing). `log`
    // gets one line for what happens after Deliver has returned, when no one
    // waits for an answer: a mail client that fails after the hand-off bound.
    MailTransport(std::string outbox, std::uintptr_t parent_window, MAPISession& session,
                  MAPIMessages& messages, std::function<void(const std::string&)> log);

    // The message: the report's message, the build code and the date, with
    // the report's attachments that name a file. A report not handed over,
    // whatever failed (an error the transport does not trap too), or whose
    // mail client fails late, is kept in the Outbox with every attachment.
    tamberlin::report::Delivery Deliver(const tamberlin::report::Report& report) noexcept override;

    // Hands each report waiting in the Outbox over, one message each with the
    // report file attached; one handed over moves to the Outbox's "Sent"
    // folder (the newest outbox::kLimit kept there). How many were handed
    // over; stops at the first that is not.
    int SendWaiting() noexcept;

private:
    std::string outbox_;
    std::uintptr_t parent_window_;
    MAPISession& session_;
    MAPIMessages& messages_;
    std::function<void(const std::string&)> log_;
};

} // namespace modQFEmailClient
