// The Tamberlin application services in one include: start-up data, the
// run-time's application object and errors, the critical error handler and
// its trap, the error log and dialog, e-mail, the system utilities and the
// user-interface hosts.
//
// An application sets its title, installs its own UI host if it has one
// (ui/host.h), calls modQFAllData::InitAppData() once, and puts
// tamberlin::errors::Trap around the statements that may fail.
#pragma once

#include "app/all_data.h"
#include "errors/critical_error_handler.h"
#include "errors/current_error.h"
#include "errors/error_form.h"
#include "errors/error_log.h"
#include "errors/trap.h"
#include "mail/email_client.h"
#include "runtime/application.h"
#include "runtime/error.h"
#include "sysutil/folders.h"
#include "sysutil/paths.h"
#include "sysutil/registry.h"
#include "sysutil/system_info.h"
#include "ui/form.h"
#include "ui/host.h"
