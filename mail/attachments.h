// What the three transports do alike with the attachment lists.
#pragma once

#include <string>
#include <vector>

namespace modQFEmailClient::attachments {

// Entry i of a list; run-time error 9 when the list is shorter.
std::string& Entry(std::vector<std::string>& list, int i);

// The path names an ordinary file (a file search with normal attributes:
// hidden and system files and folders do not count; a wildcard pattern
// counts when it matches one). Raises 52 for a path text that is no path and
// 75 for a folder that cannot be searched.
bool IsAttachableFile(const std::string& path);

// Fills an empty display name with the file-name part of the path, without
// surrounding blanks.
void FillName(std::string& name, const std::string& path);

} // namespace modQFEmailClient::attachments
