// The collector's DSN and the route's settings.
#include "report/dsn.h"

#include "report/report.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/sysutil/registry.h"

#include <cstdlib>

namespace tamberlin::report {
namespace {

bool AllOf(std::string_view text, std::string_view allowed_extra, bool digits_only = false) {
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (digits_only ? !digit
                        : !(digit || letter || allowed_extra.find(c) != std::string_view::npos))
            return false;
    }
    return true;
}

std::string Setting(std::string_view name) {
    const std::string key = SettingsKey();
    std::string value;
    modQFSystemUtilities::GetUserRegString(key, name, value);
    if (value.empty())
        modQFSystemUtilities::GetMachineRegString(key, name, value);
    return value;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::string Dsn::EnvelopeUrl() const {
    std::string url = scheme + "://" + host;
    if (port != 0)
        url += ":" + std::to_string(port);
    return url + path + "/api/" + project_id + "/envelope/";
}

bool IsLoopbackHost(std::string_view host) {
    if (host == "localhost" || host == "[::1]")
        return true;
    // 127.0.0.0/8, written as four decimal numbers.
    if (host.substr(0, 4) != "127.")
        return false;
    int parts = 0;
    for (std::string_view rest = host; !rest.empty(); ++parts) {
        const auto dot = rest.find('.');
        const std::string_view part = rest.substr(0, dot);
        if (part.empty() || part.size() > 3 || !AllOf(part, "", true) ||
            std::stoi(std::string(part)) > 255)
            return false;
        rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
        if (dot != std::string_view::npos && rest.empty())
            return false;
    }
    return parts == 4;
}

bool ParseDsn(std::string_view text, Dsn& dsn, std::string& error) {
    Dsn parsed;
    parsed.text = text;
    const auto fail = [&](std::string reason) {
        error = "The collector address (DSN) is not usable: " + std::move(reason) + ".";
        return false;
    };
    if (text.size() > 2048)
        return fail("it is longer than 2048 characters");
    for (char c : text)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
            return fail("it holds a space or a control character");
    const auto scheme_end = text.find("://");
    if (scheme_end == std::string_view::npos)
        return fail("it does not start with https://");
    parsed.scheme = text.substr(0, scheme_end);
    if (parsed.scheme != "https" && parsed.scheme != "http")
        return fail("the scheme is not https");
    std::string_view rest = text.substr(scheme_end + 3);

    const auto at = rest.find('@');
    const auto first_slash = rest.find('/');
    if (at == std::string_view::npos || (first_slash != std::string_view::npos && at > first_slash))
        return fail("it names no public key before '@'");
    std::string_view key = rest.substr(0, at);
    if (const auto colon = key.find(':'); colon != std::string_view::npos)
        key = key.substr(0, colon); // the old form's secret, not sent
    if (key.empty() || !AllOf(key, "-_."))
        return fail("the public key is empty or holds characters other than letters and digits");
    parsed.public_key = key;
    rest = rest.substr(at + 1);

    const auto slash = rest.find('/');
    if (slash == std::string_view::npos)
        return fail("it names no project after the host");
    std::string_view authority = rest.substr(0, slash);
    std::string_view path = rest.substr(slash);
    if (authority.empty())
        return fail("the host is empty");
    std::string_view host = authority, port;
    if (authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return fail("an IPv6 host lacks its closing ']'");
        host = authority.substr(0, close + 1);
        if (!AllOf(host.substr(1, host.size() - 2), ":.") || host.size() < 4)
            return fail("the IPv6 host is not an address");
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return fail("the host is followed by something other than a port");
            port = after.substr(1);
        }
    } else if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty() || (host.front() != '[' && !AllOf(host, "-.")))
        return fail("the host name holds characters a host name cannot");
    if (authority.find(':') != std::string_view::npos && host.front() != '[' && port.empty())
        return fail("the port is empty");
    if (!port.empty()) {
        if (port.size() > 5 || !AllOf(port, "", true))
            return fail("the port is not a number");
        parsed.port = std::stoi(std::string(port));
        if (parsed.port < 1 || parsed.port > 65535)
            return fail("the port is not between 1 and 65535");
    }
    parsed.host = host;

    // "/PATH/PROJECT_ID": the last level is the project, a trailing '/' allowed.
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const auto last = path.rfind('/');
    const std::string_view project = path.substr(last + 1);
    if (project.empty() || !AllOf(project, "", true))
        return fail("the project id at its end is not a number");
    parsed.project_id = project;
    parsed.path = path.substr(0, last);
    if (path.find_first_of("?#%\\") != std::string_view::npos || !AllOf(parsed.path, "/-._~"))
        return fail("the path holds characters a plain path cannot");
    if (parsed.path.find("//") != std::string::npos)
        return fail("the path has an empty level");

    if (parsed.scheme == "http" && !IsLoopbackHost(parsed.host))
        return fail("plain http is accepted only for this machine (localhost); use https");
    dsn = std::move(parsed);
    error.clear();
    return true;
}

std::string SettingsKey() {
    return "Software\\" + runtime::App().Title() + "\\Reports";
}

std::string ConfiguredDsn() {
    if (std::string dsn = Environment("TAMBERLIN_DSN"); !dsn.empty())
        return dsn;
    return Setting("DSN");
}

std::string ConfiguredCaFile() {
    if (std::string file = Environment("TAMBERLIN_CA_FILE"); !file.empty())
        return file;
    return Setting("CAFile");
}

Consent ConfiguredConsent() {
    std::string value = Setting("Consent");
    for (char& c : value)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (value == "always")
        return Consent::kAlways;
    if (value == "never")
        return Consent::kNever;
    return Consent::kAsk;
}

void SaveConsent(Consent consent) {
    if (consent != Consent::kAsk)
        modQFSystemUtilities::SaveUserRegString(
            SettingsKey(), "Consent", consent == Consent::kAlways ? "always" : "never", true);
}

std::string InstallId() {
    const std::string key = SettingsKey();
    std::string id;
    modQFSystemUtilities::GetUserRegString(key, "InstallId", id);
    if (id.size() == 32 && AllOf(id, ""))
        return id;
    id = NewEventId();
    if (!id.empty())
        modQFSystemUtilities::SaveUserRegString(key, "InstallId", id, true);
    return id;
}

} // namespace tamberlin::report
