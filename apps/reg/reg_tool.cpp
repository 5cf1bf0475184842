#include "apps/reg/reg_tool.h"

#include "apps/reg/reg_file.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tamberlin/platform/reg_key.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string_view>

namespace tamberlin::regtool {
namespace {

namespace reg = platform::registry;

// A failure of the command: reported as one "ERROR: ..." line, exit 1.
struct Failure {
    std::string message;
};

[[noreturn]] void Fail(std::string message) {
    throw Failure{std::move(message)};
}

[[noreturn]] void FailWith(long rc) {
    switch (rc) {
    case reg::kFileNotFound:
        Fail("The system was unable to find the specified registry key or value.");
    case reg::kAccessDenied:
        Fail("Access is denied.");
    case reg::kBadDb:
        Fail("The configuration registry database is corrupt.");
    case reg::kDiskFull:
        Fail("There is not enough space on the disk.");
    case reg::kBusy:
        Fail("The requested resource is in use.");
    case reg::kInvalidParameter:
        Fail("The registry refused a name: a key level holds at most 255 characters, a key "
             "at most 512 levels and a value name at most 16,383 characters.");
    case reg::kFilenameTooLong:
        Fail("The registry store's file name is too long.");
    case reg::kBadPathname:
        Fail("Invalid key name.");
    case reg::kIoFailed:
        Fail("The registry store could not be read or written.");
    default:
        Fail("The registry answered error " + std::to_string(rc) + ".");
    }
}

void Check(long rc) {
    if (rc != reg::kSuccess)
        FailWith(rc);
}

struct KeyName {
    reg::Key root = 0;
    std::string root_name; // the full name, as the files and listings show it
    std::string path;      // below the root; empty for the root itself

    std::string Full() const { return path.empty() ? root_name : root_name + '\\' + path; }
};

std::optional<KeyName> ParseKey(std::string_view text) {
    const size_t slash = text.find('\\');
    const std::string root = platform::UpperCase(text.substr(0, slash));
    KeyName key;
    if (root == "HKCU" || root == "HKEY_CURRENT_USER")
        key = {reg::kCurrentUser, "HKEY_CURRENT_USER", {}};
    else if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE")
        key = {reg::kLocalMachine, "HKEY_LOCAL_MACHINE", {}};
    else
        return std::nullopt;
    if (slash != std::string_view::npos)
        key.path = std::string(text.substr(slash + 1));
    while (!key.path.empty() && key.path.back() == '\\')
        key.path.pop_back();
    return key;
}

KeyName RequireKey(std::string_view text) {
    std::optional<KeyName> key = ParseKey(text);
    if (!key)
        Fail("Invalid key name.");
    return *key;
}

// The key, opened or created; a failure ends the command.
reg::RegKey Open(const KeyName& name, std::uint32_t sam) {
    reg::RegKey key;
    Check(key.Open(name.root, name.path, sam));
    return key;
}

reg::RegKey Create(const KeyName& name) {
    reg::RegKey key;
    Check(key.Create(name.root, name.path, reg::kAllAccess));
    return key;
}

struct Options {
    std::vector<std::string> operands;
    std::optional<std::string> value; // /v NAME, or "" for /ve
    std::string type = "REG_SZ";
    std::string data;
    bool force = false;
};

// Options are the known switches, with "/" or "-"; every other argument is an
// operand, so that file paths beginning with "/" stay paths.
Options ParseOptions(const std::vector<std::string>& args) {
    Options options;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string flag = platform::UpperCase(args[i]);
        if (!flag.empty() && flag[0] == '-')
            flag[0] = '/';
        const auto operand = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                Fail("Invalid syntax: " + args[i] + " needs a value.");
            return args[++i];
        };
        if (flag == "/V" && !options.value)
            options.value = operand();
        else if (flag == "/VE" && !options.value)
            options.value = "";
        else if (flag == "/T")
            options.type = platform::UpperCase(operand());
        else if (flag == "/D")
            options.data = operand();
        else if (flag == "/F" || flag == "/Y")
            options.force = true;
        else
            options.operands.push_back(args[i]);
    }
    return options;
}

bool Confirm(std::istream& in, std::ostream& out, const std::string& question) {
    out << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(in, answer))
        return false;
    answer = platform::UpperCase(answer);
    return answer == "Y" || answer == "YES";
}

std::string TypeName(std::uint32_t type) {
    switch (type) {
    case reg::kNone:
        return "REG_NONE";
    case reg::kSz:
        return "REG_SZ";
    case reg::kExpandSz:
        return "REG_EXPAND_SZ";
    case reg::kBinary:
        return "REG_BINARY";
    case reg::kDword:
        return "REG_DWORD";
    case reg::kMultiSz:
        return "REG_MULTI_SZ";
    case reg::kQword:
        return "REG_QWORD";
    default:
        return "REG_" + std::to_string(type);
    }
}

std::string ShowData(std::uint32_t type, std::string_view data) {
    if (type == reg::kSz || type == reg::kExpandSz)
        return platform::Utf8FromAnsi(data.substr(0, data.find('\0')));
    if (const auto n = reg::DwordFromBytes(data); n && type == reg::kDword) {
        char text[16];
        const auto end = std::to_chars(text, text + sizeof text, *n, 16).ptr;
        return "0x" + std::string(text, end);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : data) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
    }
    return hex;
}

void PrintValue(std::ostream& out, std::string_view name, std::uint32_t type,
                std::string_view data) {
    out << "    " << (name.empty() ? "(Default)" : name) << "    " << TypeName(type) << "    "
        << ShowData(type, data) << "\n";
}

// A store that fails part-way through a listing is an error, not the end of
// the list.
template <typename Each> void ForEachValue(reg::Key key, Each&& each) {
    std::string name, data;
    std::uint32_t type = 0;
    long rc = reg::kSuccess;
    for (std::uint32_t i = 0; (rc = reg::EnumValue(key, i, name, type, data)) == reg::kSuccess; ++i)
        each(name, type, data);
    if (rc != reg::kNoMoreItems)
        FailWith(rc);
}

std::vector<std::string> SubKeys(reg::Key key) {
    std::vector<std::string> names;
    std::string name;
    long rc = reg::kSuccess;
    for (std::uint32_t i = 0; (rc = reg::EnumKey(key, i, name)) == reg::kSuccess; ++i)
        names.push_back(name);
    if (rc != reg::kNoMoreItems)
        FailWith(rc);
    return names;
}

int Query(const Options& o, std::ostream& out) {
    if (o.operands.size() != 1)
        Fail("Invalid syntax: query KEY [/v NAME | /ve].");
    const KeyName name = RequireKey(o.operands[0]);
    const reg::RegKey key = Open(name, reg::kRead);
    out << "\n" << name.Full() << "\n";
    if (o.value) {
        std::uint32_t type = 0;
        std::string data;
        Check(key.ReadValue(*o.value, type, data));
        PrintValue(out, *o.value, type, data);
        return 0;
    }
    ForEachValue(key.Handle(),
                 [&](const std::string& value_name, std::uint32_t type, const std::string& data) {
                     PrintValue(out, value_name, type, data);
                 });
    for (const std::string& sub : SubKeys(key.Handle()))
        out << "\n" << name.Full() << '\\' << sub;
    out << "\n";
    return 0;
}

std::string EncodeData(const Options& o, std::uint32_t& type) {
    if (o.type == "REG_SZ" || o.type == "REG_EXPAND_SZ") {
        type = o.type == "REG_SZ" ? reg::kSz : reg::kExpandSz;
        return platform::AnsiFromUtf8(o.data) + '\0';
    }
    if (o.type == "REG_DWORD") {
        type = reg::kDword;
        std::string_view digits = o.data;
        if (digits.empty())
            digits = "0";
        int base = 10;
        if (digits.size() > 2 && (digits.substr(0, 2) == "0x" || digits.substr(0, 2) == "0X")) {
            digits.remove_prefix(2);
            base = 16;
        }
        std::uint32_t n = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), n, base);
        if (ec != std::errc() || end != digits.data() + digits.size())
            Fail("Invalid syntax: " + o.data + " is not a REG_DWORD number.");
        return reg::DwordBytes(n);
    }
    Fail("Invalid syntax: type " + o.type + " is not supported.");
}

int Add(const Options& o, std::istream& in, std::ostream& out) {
    if (o.operands.size() != 1)
        Fail("Invalid syntax: add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f].");
    const KeyName name = RequireKey(o.operands[0]);
    std::uint32_t type = 0;
    const std::string data = o.value ? EncodeData(o, type) : std::string();
    const reg::RegKey key = Create(name);
    if (o.value) {
        std::uint32_t size = 0;
        const bool exists =
            reg::QueryValue(key.Handle(), *o.value, nullptr, nullptr, &size) == reg::kSuccess;
        if (exists && !o.force &&
            !Confirm(in, out,
                     "Value " + (o.value->empty() ? std::string("(Default)") : *o.value) +
                         " exists, overwrite"))
            Fail("The operation was cancelled.");
        Check(key.WriteValue(*o.value, type, data));
    }
    out << "The operation completed successfully.\n";
    return 0;
}

int Delete(const Options& o, std::istream& in, std::ostream& out) {
    if (o.operands.size() != 1)
        Fail("Invalid syntax: delete KEY [/v NAME | /ve] [/f].");
    const KeyName name = RequireKey(o.operands[0]);
    if (o.value) {
        const reg::RegKey key = Open(name, reg::kQueryValue | reg::kSetValue);
        std::uint32_t size = 0;
        Check(reg::QueryValue(key.Handle(), *o.value, nullptr, nullptr, &size));
        if (!o.force && !Confirm(in, out, "Delete the registry value " + *o.value))
            Fail("The operation was cancelled.");
        Check(reg::DeleteValue(key.Handle(), *o.value));
    } else {
        if (name.path.empty())
            Fail("Invalid key name: a root cannot be deleted.");
        Open(name, reg::kQueryValue); // a missing key ends the command here
        if (!o.force && !Confirm(in, out, "Permanently delete the registry key " + name.Full()))
            Fail("The operation was cancelled.");
        Check(reg::DeleteTree(name.root, name.path));
    }
    out << "The operation completed successfully.\n";
    return 0;
}

// A .reg file holds one entry a line: a name with a line break in it could
// not be read back, so nothing is exported.
void RequireOneLine(const std::string& name, const std::string& what) {
    if (name.find_first_of("\r\n") == std::string::npos)
        return;
    std::string shown;
    for (char c : what)
        shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    Fail("Cannot export " + shown + ": a registry file cannot hold a name with a line break.");
}

void ExportKey(const KeyName& name, std::string& text) {
    RequireOneLine(name.path, "the key " + name.Full());
    const reg::RegKey key = Open(name, reg::kRead);
    text += "[" + name.Full() + "]\r\n";
    ForEachValue(key.Handle(), [&](const std::string& value_name, std::uint32_t type,
                                   const std::string& data) {
        RequireOneLine(value_name, "the value \"" + value_name + "\" of " + name.Full());
        text += FormatValueLine(value_name, type, data) + "\r\n";
    });
    text += "\r\n";
    for (const std::string& sub : SubKeys(key.Handle())) {
        KeyName child = name;
        child.path = name.path.empty() ? sub : name.path + '\\' + sub;
        ExportKey(child, text);
    }
}

int Export(const Options& o, std::istream& in, std::ostream& out) {
    if (o.operands.size() != 2)
        Fail("Invalid syntax: export KEY FILE [/y].");
    const KeyName name = RequireKey(o.operands[0]);
    const std::string& file = o.operands[1];
    std::string text = std::string(kRegFileHeader) + "\r\n\r\n";
    ExportKey(name, text);
    if (!o.force && std::ifstream(file) &&
        !Confirm(in, out, "File " + file + " already exists. Overwrite"))
        Fail("The operation was cancelled.");
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    const std::string bytes = EncodeFile(text);
    if (!stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !stream.flush())
        Fail("Unable to write to the file " + file + ".");
    out << "The operation completed successfully.\n";
    return 0;
}

struct ImportStep {
    KeyName key;
    bool remove_key = false;
    std::optional<ValueLine> value; // a value line of `key`; none for the key line
};

// The whole file is read and checked, by the registry's own rules for names,
// before anything is changed.
std::vector<ImportStep> ReadRegFile(const std::string& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        Fail("Unable to open the file " + file + ".");
    const std::string bytes{std::istreambuf_iterator<char>(stream), {}};
    const std::optional<std::string> text = DecodeFile(bytes);
    if (!text)
        Fail("The file " + file + " is not a registry file.");
    // Each line with the number of the file line it starts on.
    std::vector<std::pair<size_t, std::string>> lines;
    std::istringstream reader(*text);
    bool continued = false;
    size_t number = 0;
    for (std::string line; std::getline(reader, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (continued)
            lines.back().second +=
                line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        else
            lines.emplace_back(number, line);
        // A long hex value continues on the next line after a "\"; a comment
        // ends with its line.
        std::string& joined = lines.back().second;
        continued = !joined.empty() && joined.back() == '\\' && joined.front() != ';';
        if (continued)
            joined.pop_back();
    }
    std::vector<ImportStep> steps;
    bool header = false;
    FileVersion version = FileVersion::kVersion5;
    std::optional<KeyName> current;
    for (const auto& [n, line] : lines) {
        if (line.empty() || line[0] == ';')
            continue;
        const std::string where = file + " line " + std::to_string(n);
        if (!header) {
            if (line != kRegFileHeader && line != kRegedit4Header)
                Fail("The file " + file + " is not a registry file.");
            header = true;
            if (line == kRegedit4Header)
                version = FileVersion::kRegedit4;
        } else if (line.front() == '[') {
            if (line.back() != ']')
                Fail("Invalid key line in " + where + ".");
            const bool remove = line.size() > 1 && line[1] == '-';
            const std::optional<KeyName> key = ParseKey(
                std::string_view(line).substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2)));
            if (!key || key->path.empty() || reg::CheckKeyPath(key->path) != reg::kSuccess)
                Fail("Invalid key name in " + where + ".");
            steps.push_back({*key, remove, std::nullopt});
            current = remove ? std::nullopt : key;
        } else {
            std::optional<ValueLine> value = ParseValueLine(line, version);
            if (!value)
                Fail("Invalid value line in " + where + ".");
            if (reg::CheckValueName(value->name) != reg::kSuccess)
                Fail("Invalid value name in " + where + ".");
            if (!current)
                Fail("A value outside a key in " + where + ".");
            steps.push_back({*current, false, std::move(value)});
        }
    }
    if (!header)
        Fail("The file " + file + " is not a registry file.");
    return steps;
}

int Import(const Options& o, std::ostream& out) {
    if (o.operands.size() != 1)
        Fail("Invalid syntax: import FILE.");
    const std::vector<ImportStep> steps = ReadRegFile(o.operands[0]);
    // One change where the store allows it: a failure, or the end of the
    // process, part-way through leaves nothing of the file behind.
    Check(reg::BeginChanges());
    try {
        for (const ImportStep& step : steps) {
            if (step.remove_key) {
                const long rc = reg::DeleteTree(step.key.root, step.key.path);
                if (rc != reg::kFileNotFound)
                    Check(rc);
                continue;
            }
            const reg::RegKey key = Create(step.key);
            if (step.value && step.value->remove) {
                const long rc = reg::DeleteValue(key.Handle(), step.value->name);
                if (rc != reg::kFileNotFound)
                    Check(rc);
            } else if (step.value) {
                Check(key.WriteValue(step.value->name, step.value->type, step.value->data));
            }
        }
    } catch (...) {
        reg::EndChanges(false);
        throw;
    }
    Check(reg::EndChanges(true));
    out << "The operation completed successfully.\n";
    return 0;
}

} // namespace

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
    try {
        if (args.empty())
            Fail("Invalid syntax: query, add, delete, export or import expected.");
        const Options options = ParseOptions(args);
        const std::string command = platform::UpperCase(args[0]);
        if (command == "QUERY")
            return Query(options, out);
        if (command == "ADD")
            return Add(options, in, out);
        if (command == "DELETE")
            return Delete(options, in, out);
        if (command == "EXPORT")
            return Export(options, in, out);
        if (command == "IMPORT")
            return Import(options, out);
        Fail("Invalid syntax: unknown command " + args[0] + ".");
    } catch (const Failure& failure) {
        err << "ERROR: " << failure.message << "\n";
    } catch (const std::exception& e) {
        err << "ERROR: " << e.what() << "\n";
    }
    return 1;
}

} // namespace tamberlin::regtool
