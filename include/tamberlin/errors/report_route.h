// The route of error reports to a collector (a Sentry-protocol receiver),
// one for the process, with the user's consent.
//
// Configured by the DSN: TAMBERLIN_DSN, else the value "DSN" under
// Software\<application title>\Reports (HKEY_CURRENT_USER over
// HKEY_LOCAL_MACHINE). Without one the route is off and nothing changes: no
// question, no thread, no network.
//
// Start it once InitAppData has read the settings, before
// ReportPendingCrashes. The reports wait in the Outbox folder beside the error
// log (files of their own, apart from the e-mail reports kept there) until
// the collector has them; what an earlier run left is sent at start, on the
// route's own thread, so the application never waits for the network.
//
// Nothing is sent before the user agrees: the first report asks "always",
// "this time" or "never", with the report shown exactly as it would leave.
// "Always" and "never" are kept (value "Consent", which an installer may
// preset under HKEY_LOCAL_MACHINE); "this time" is not.
#pragma once

namespace tamberlin::errors {

// Starts the route when a collector is configured; true when it is on.
// Starting it again does nothing. Never throws.
bool StartReportRoute() noexcept;

// Stops the route: at most 2 seconds for what is being sent, the rest waits
// in the Outbox for the next start. Never throws.
void StopReportRoute() noexcept;

// The route for as long as the object lives.
class ReportRoute {
public:
    ReportRoute() noexcept { on_ = StartReportRoute(); }
    ~ReportRoute() { StopReportRoute(); }
    ReportRoute(const ReportRoute&) = delete;
    ReportRoute& operator=(const ReportRoute&) = delete;
    bool On() const { return on_; }

private:
    bool on_ = false;
};

} // namespace tamberlin::errors
