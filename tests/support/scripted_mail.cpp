#include "tests/support/scripted_mail.h"

#include "tamberlin/runtime/error.h"

namespace tamberlin::testing {

namespace mapi = platform::mapi;
namespace cdo = platform::cdo;

ScriptedMail::ScriptedMail() {
    mapi::InstallProvider(this);
}
ScriptedMail::~ScriptedMail() {
    mapi::InstallProvider(nullptr);
}

std::vector<std::string> ScriptedMail::Functions() const {
    std::vector<std::string> names;
    for (const Call& c : calls_)
        names.push_back(c.function);
    return names;
}

std::uint32_t ScriptedMail::Next(const std::string& function, Call call) {
    call.function = function;
    calls_.push_back(std::move(call));
    if (auto raise = raises_.find(function); raise != raises_.end()) {
        const std::int32_t number = raise->second;
        raises_.erase(raise);
        runtime::Raise(number);
    }
    auto& queue = answers_[function];
    if (queue.empty())
        return mapi::kSuccess;
    const std::uint32_t code = queue.front();
    queue.pop_front();
    return code;
}

std::uint32_t ScriptedMail::Logon(std::uintptr_t ui_param, const std::string&, const std::string&,
                                  std::uint32_t flags, mapi::Session& session) {
    const std::uint32_t rc = Next("logon", {{}, ui_param, flags, {}, {}});
    if (rc == mapi::kSuccess)
        session = 77;
    return rc;
}

std::uint32_t ScriptedMail::ResolveName(mapi::Session, std::uintptr_t ui_param,
                                        const std::string& name, std::uint32_t flags,
                                        mapi::Recipient& recipient) {
    const std::uint32_t rc = Next("resolve", {{}, ui_param, flags, name, {}});
    if (rc == mapi::kSuccess)
        recipient = resolved;
    return rc;
}

std::uint32_t ScriptedMail::SendMail(mapi::Session, std::uintptr_t ui_param,
                                     const mapi::Message& message, std::uint32_t flags) {
    return Next("send", {{}, ui_param, flags, {}, message});
}

std::uint32_t ScriptedMail::Logoff(mapi::Session, std::uintptr_t ui_param, std::uint32_t flags) {
    return Next("logoff", {{}, ui_param, flags, {}, {}});
}

namespace {

std::string Show(const cdo::Value& v) {
    if (std::holds_alternative<cdo::Missing>(v))
        return "missing";
    if (const bool* b = std::get_if<bool>(&v))
        return *b ? "true" : "false";
    if (const std::int32_t* n = std::get_if<std::int32_t>(&v))
        return std::to_string(*n);
    if (const std::string* s = std::get_if<std::string>(&v))
        return "\"" + *s + "\"";
    return "object";
}

class LoggingObject final : public cdo::Object, public std::enable_shared_from_this<LoggingObject> {
public:
    explicit LoggingObject(ScriptedCdo& owner, bool session = false)
        : owner_(owner), session_(session) {}
    ~LoggingObject() override {
        if (session_)
            owner_.log.push_back("Release session");
    }
    cdo::ObjectPtr As(std::string_view iid) override {
        Record("As " + std::string(iid));
        return shared_from_this();
    }
    cdo::Value Invoke(std::int32_t dispid, cdo::Call call, std::vector<cdo::Value> args) override {
        return Answer("Invoke " + std::to_string(dispid), call, args, dispid == 100);
    }
    cdo::Value InvokeByName(std::string_view name, cdo::Call call,
                            std::vector<cdo::Value> args) override {
        return Answer("InvokeByName " + std::string(name), call, args, name == "Add");
    }

private:
    cdo::Value Answer(std::string line, cdo::Call call, const std::vector<cdo::Value>& args,
                      bool adds) {
        line += call == cdo::Call::kGet ? " get" : call == cdo::Call::kPut ? " put" : " method";
        for (const cdo::Value& a : args)
            line += " " + Show(a);
        Record(line);
        if (call == cdo::Call::kGet || adds)
            return cdo::ObjectPtr(std::make_shared<LoggingObject>(owner_));
        return {};
    }
    void Record(const std::string& line) {
        owner_.log.push_back(line);
        if (!owner_.fail_at.empty() && line.rfind(owner_.fail_at, 0) == 0)
            runtime::Raise(owner_.error);
    }
    ScriptedCdo& owner_;
    const bool session_;
};

} // namespace

ScriptedCdo::ScriptedCdo() {
    cdo::InstallSessionFactory([this]() -> cdo::ObjectPtr {
        if (cannot_create)
            runtime::Raise(cdo::kCannotCreateObject, "ActiveX component can't create object");
        log.push_back("CreateSession");
        return std::make_shared<LoggingObject>(*this, true);
    });
}

ScriptedCdo::~ScriptedCdo() {
    cdo::InstallSessionFactory(nullptr);
}

std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace tamberlin::testing
