// The Tamberlin application services in one include: start-up data, the
// run-time's application object and errors, the critical error handler and
// its trap, the error log and dialog, e-mail, the system utilities and the
// user-interface hosts.
//
// An application calls tamberlin::errors::InstallCrashHandler() first, sets
// its title, installs its own UI host if it has one (ui/host.h), calls
// modQFAllData::InitAppData() once, starts the collector route for as long
// as it runs (a tamberlin::errors::ReportRoute), then
// tamberlin::errors::ReportPendingCrashes(), and puts tamberlin::errors::Trap
// around the statements that may fail.
#pragma once

#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/report_route.h"
#include "tamberlin/errors/trap.h"
#include "tamberlin/errors/waiting_reports.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/runtime/current_error.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/sysutil/paths.h"
#include "tamberlin/sysutil/registry.h"
#include "tamberlin/sysutil/system_info.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"
