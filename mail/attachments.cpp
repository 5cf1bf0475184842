#include "mail/attachments.h"

#include "platform/files.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/sysutil/paths.h"

namespace modQFEmailClient::attachments {

namespace files = tamberlin::platform::files;
namespace rt = tamberlin::runtime;

std::string& Entry(std::vector<std::string>& list, int i) {
    if (i < 0 || static_cast<size_t>(i) >= list.size())
        rt::Raise(rt::errors::kSubscriptOutOfRange);
    return list[static_cast<size_t>(i)];
}

bool IsAttachableFile(const std::string& path) {
    switch (files::FirstEntry(path, files::kNormal)) {
    case files::Listing::kEntry:
        return true;
    case files::Listing::kNoEntry:
        return false;
    case files::Listing::kBadName:
        rt::Raise(rt::errors::kBadFileName);
    case files::Listing::kAccessError:
        break;
    }
    rt::Raise(rt::errors::kPathFileAccessError);
}

void FillName(std::string& name, const std::string& path) {
    if (!name.empty())
        return;
    const std::string file = modQFSystemUtilities::GetFileName(path);
    const size_t first = file.find_first_not_of(' ');
    name = first == std::string::npos ? std::string()
                                      : file.substr(first, file.find_last_not_of(' ') - first + 1);
}

} // namespace modQFEmailClient::attachments
