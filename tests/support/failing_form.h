// A form whose handler throws, and the error log it lands in: what each
// host's test raises to check the one contract for failing handlers
// (ui::RaiseEvent): the form is unloaded, the error is logged once, and
// nothing reaches the host's caller.
#pragma once

#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/ui/form.h"
#include "tests/support/temp_folder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace tamberlin::testing {

class FailingForm final : public ui::Form {
public:
    FailingForm() : Form("frmFailing") {
        caption = "Failing Form";
        client_width = 2400;
        client_height = 1000;
        ui::Control fail = ui::Control::Make("cmdFail", ui::ControlKind::kCommandButton, 120, 120,
                                             1200, 375, 0, "Fail");
        fail.command = "fail";
        controls = {fail};
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
    CapturedLog()
        : folder_(modQFCriticalErrorHandler::strErrorLogFolder),
          name_(modQFAllData::strAppEXEName) {
        modQFCriticalErrorHandler::strErrorLogFolder = temp_.Text();
        modQFAllData::strAppEXEName = "host";
    }
    ~CapturedLog() {
        modQFCriticalErrorHandler::strErrorLogFolder = folder_;
        modQFAllData::strAppEXEName = name_;
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    // The operation and the error of each line: "frmFailing.cmdFail_Click,
    // 51, the handler failed".
    std::vector<std::string> Entries() const {
        std::ifstream in(FsPath(modQFCriticalErrorHandler::GetErrorLogPath()), std::ios::binary);
        const std::string log{std::istreambuf_iterator<char>(in), {}};
        std::vector<std::string> entries;
        for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            // Between the time stamp and the last two fields (source, system error).
            const std::string line = log.substr(start, end - start);
            const size_t from = line.find(", ") + 2;
            const size_t to = line.rfind(", ", line.rfind(", ") - 1);
            entries.push_back(line.substr(from, to - from));
        }
        return entries;
    }

private:
    TempFolder temp_;
    std::string folder_;
    std::string name_;
};

} // namespace tamberlin::testing
