// Where reports go: the collector's DSN, and the settings the route keeps.
//
// A DSN is "https://PUBLIC_KEY@HOST[:PORT][/PATH]/PROJECT_ID". Plain http is
// accepted only for a loopback host (a receiver on the same machine); a
// secret after the key (the old "KEY:SECRET@" form) is accepted and ignored.
// Parsing never throws: a malformed DSN is refused with a sentence saying
// what is wrong with it.
#pragma once

#include <string>
#include <string_view>

namespace tamberlin::report {

struct Dsn {
    std::string scheme; // "https" or "http"
    std::string public_key;
    std::string host; // a name, an IPv4 address, or an IPv6 one in brackets
    int port = 0;     // 0: the scheme's own
    std::string path; // "" or "/some/prefix", without a trailing "/"
    std::string project_id;
    std::string text; // the DSN as given

    // "https://HOST[:PORT][/PATH]/api/PROJECT_ID/envelope/"
    std::string EnvelopeUrl() const;
};

// True and `dsn` filled, or false and `error` holding the reason.
bool ParseDsn(std::string_view text, Dsn& dsn, std::string& error);

// Whether a host text names this machine (localhost, 127.x.x.x, [::1]).
bool IsLoopbackHost(std::string_view host);

// The route's settings: under the application's key, HKEY_CURRENT_USER
// first, then HKEY_LOCAL_MACHINE (where the vendor's installer puts them).
// The key is "Software\<application title>\Reports".
std::string SettingsKey();

// The DSN text: TAMBERLIN_DSN when set, else the value "DSN" of the
// settings; empty when the route is not configured.
std::string ConfiguredDsn();
// The CA file to verify the collector with (the value "CAFile",
// TAMBERLIN_CA_FILE overriding it); empty: the system's trust store.
std::string ConfiguredCaFile();

// Whether reports may go to the collector: the value "Consent" of the
// settings ("always" or "never"; HKEY_CURRENT_USER over HKEY_LOCAL_MACHINE,
// so the vendor's installer may preset it). Anything else: ask the user.
enum class Consent { kAsk, kAlways, kNever };
Consent ConfiguredConsent();
// Keeps the user's answer in HKEY_CURRENT_USER; kAsk is not kept.
void SaveConsent(Consent consent);

// The random id of this installation (value "InstallId", made and kept in
// HKEY_CURRENT_USER the first time it is asked for). It stands for the user
// in reports, so the user's name never has to.
std::string InstallId();

} // namespace tamberlin::report
