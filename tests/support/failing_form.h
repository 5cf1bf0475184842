// A form whose handler throws, and the error log it lands in: what each
// host's test raises to check the one contract for failing handlers
// (ui::RaiseEvent): the form is unloaded, the error is logged once, and
// nothing reaches the host's caller.
#pragma once

#include "tamberlin/errors/error_log.h"
#include "tamberlin/ui/form.h"
#include "tests/support/temp_folder.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tamberlin::testing {

struct FailingForm final : ui::Form {
    FailingForm() : Form("frmFailing") {
        caption = "Failing Form";
        client_width = 2400;
        client_height = 1000;
        controls = {ui::Control::Make("cmdFail", ui::ControlKind::kCommandButton, 120, 120, 1200,
                                      375, 0, "Fail")};
        controls[0].command = "fail";
        commands = {"fail"};
    }
    void Raise(std::string_view, ui::Event) override {
        throw std::runtime_error("the handler failed");
    }
    void Form_Unload() override {
        if (unload_fails)
            throw std::runtime_error("the unload failed");
    }
    bool unload_fails = false;
};

// The error log in a folder of its own while this lives.
class CapturedLog {
public:
    CapturedLog() { std::swap(folder_, modQFCriticalErrorHandler::strErrorLogFolder); }
    ~CapturedLog() { std::swap(folder_, modQFCriticalErrorHandler::strErrorLogFolder); }

    // Each line without its time stamp, source and system error:
    // "frmFailing.cmdFail_Click, 51, the handler failed".
    std::vector<std::string> Entries() const {
        std::ifstream in(FsPath(modQFCriticalErrorHandler::GetErrorLogPath()), std::ios::binary);
        std::vector<std::string> entries;
        for (std::string line; std::getline(in, line);) {
            const size_t from = line.find(", ") + 2, to = line.rfind(", ", line.rfind(", ") - 1);
            entries.push_back(line.substr(from, to - from));
        }
        return entries;
    }

private:
    TempFolder temp_;
    std::string folder_ = temp_.Text();
};

} // namespace tamberlin::testing
