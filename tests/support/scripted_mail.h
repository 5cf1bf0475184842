// A mail system that plays its part from a script: the simple MAPI calls and
// the CDO objects answer as told and keep a log of what they were asked.
// What a mail client answers (a user cancelling its compose window, a
// failing logon) cannot be set up for real in a unit test; this is the one
// stand-in for it.
#pragma once

#include "platform/cdo.h"
#include "platform/simple_mapi.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tamberlin::testing {

class ScriptedMail final : public platform::mapi::Provider {
public:
    struct Call {
        std::string function; // "logon", "resolve", "send", "logoff"
        std::uintptr_t ui_param = 0;
        std::uint32_t flags = 0;
        std::string name;                // resolve: the name
        platform::mapi::Message message; // send: the message
    };

    // Installs itself as the simple MAPI provider for its lifetime.
    ScriptedMail();
    ~ScriptedMail() override;

    // The codes the next calls of a function return ("logon", "resolve",
    // "send", "logoff"); 0 when none is queued.
    void Answer(const std::string& function, std::uint32_t code) {
        answers_[function].push_back(code);
    }
    // Makes the next call of a function raise this run-time error instead.
    void Raise(const std::string& function, std::int32_t number) { raises_[function] = number; }
    // What a resolution returns.
    platform::mapi::Recipient resolved;

    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<std::string> Functions() const;

    std::uint32_t Logon(std::uintptr_t ui_param, const std::string& profile,
                        const std::string& password, std::uint32_t flags,
                        platform::mapi::Session& session) override;
    std::uint32_t ResolveName(platform::mapi::Session session, std::uintptr_t ui_param,
                              const std::string& name, std::uint32_t flags,
                              platform::mapi::Recipient& recipient) override;
    std::uint32_t SendMail(platform::mapi::Session session, std::uintptr_t ui_param,
                           const platform::mapi::Message& message, std::uint32_t flags) override;
    std::uint32_t Logoff(platform::mapi::Session session, std::uintptr_t ui_param,
                         std::uint32_t flags) override;

private:
    std::uint32_t Next(const std::string& function, Call call);

    std::map<std::string, std::deque<std::uint32_t>> answers_;
    std::map<std::string, std::int32_t> raises_;
    std::vector<Call> calls_;
};

// CDO objects that log every call as one line ("Invoke 38 put "subject"",
// "InvokeByName Add method", "As {3FA7...}") and return new objects for
// property reads and Add. `fail_at` makes the call whose log line starts with
// it raise `error` instead.
class ScriptedCdo {
public:
    // Installs itself as the CDO session factory for its lifetime.
    ScriptedCdo();
    ~ScriptedCdo();

    std::vector<std::string> log;
    std::string fail_at;
    std::int32_t error = 0;
    bool cannot_create = false;
};

// A URL-encoded text ("%20") decoded, as the recording mail clients get it.
std::string PercentDecoded(const std::string& text);

} // namespace tamberlin::testing
