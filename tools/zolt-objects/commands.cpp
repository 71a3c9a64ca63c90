#include "commands.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sys/stat.h>

#include "channel_objects.h"
#include "object_users.h"

namespace zolt_objects {
namespace {

struct Survey {
    std::vector<ChannelObject> objects;
    ProcessScan scan;
};

bool survey(Survey& result, std::ostream& err) {
    std::string error;
    if (!findChannelObjects(kSharedMemoryFolder, result.objects, error)) {
        err << "zolt-objects: " << error << "\n";
        return false;
    }
    std::vector<FileId> wanted;
    for (const ChannelObject& object : result.objects) wanted.push_back({object.device, object.inode});
    result.scan = scanProcesses(wanted);
    return true;
}

const std::vector<Process>& usersOf(const Survey& survey, const ChannelObject& object) {
    static const std::vector<Process> none;
    const auto found = survey.scan.users.find({object.device, object.inode});
    return found == survey.scan.users.end() ? none : found->second;
}

std::string userName(uid_t uid) {
    if (const passwd* entry = ::getpwuid(uid)) return entry->pw_name;
    return std::to_string(uid);
}

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode));
    return text;
}

std::string stateText(const ChannelObject& object) {
    if (object.kind != ObjectKind::Mailbox) return "-";
    if (object.state < 0) return "?";
    return std::to_string(object.state) + (object.state == 0 ? " idle" : " pending");
}

std::string processList(const std::vector<Process>& processes) {
    if (processes.empty()) return "nobody";
    std::string text;
    for (const Process& process : processes) {
        if (!text.empty()) text += ", ";
        text += std::to_string(process.pid) + " (" + process.command + ")";
    }
    return text;
}

std::string shownStem(const std::string& stem) { return stem.empty() ? "\"\"" : stem; }

void printTable(const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths.push_back(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        out << line << "\n";
    }
}

// Could a process whose maps we could not read be using the object? Only one
// of the owner's, unless the mode lets others in: the library never opens
// another user's objects.
bool mightBeUsedUnseen(const Survey& survey, const ChannelObject& object) {
    for (const Process& process : survey.scan.uninspected)
        if (process.uid == object.owner || (object.mode & 0066) != 0) return true;
    return false;
}

// What list says and clean decides by: the users seen, else whether an
// uninspected process might be one.
std::string usedByText(const Survey& survey, const ChannelObject& object) {
    const auto& users = usersOf(survey, object);
    if (users.empty() && mightBeUsedUnseen(survey, object)) return "perhaps (uninspected processes)";
    return processList(users);
}

// Named once, and only when they decided something: an object shown as
// perhaps used, or kept for them.
void reportUninspected(const Survey& survey, std::ostream& err) {
    const auto& processes = survey.scan.uninspected;
    err << "zolt-objects: " << processes.size() << " process" << (processes.size() == 1 ? "" : "es")
        << " could not be inspected (their maps are closed to this user): " << processList(processes) << "\n";
}

// Removes path if it is still the file that was looked at.
bool removeObject(const ChannelObject& object, std::string& error) {
    struct stat info {};
    if (::lstat(object.path.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;  // someone else removed it
        error = std::strerror(errno);
        return false;
    }
    if (info.st_dev != object.device || info.st_ino != object.inode) {
        error = "replaced by a new object meanwhile";
        return false;
    }
    if (::unlink(object.path.c_str()) != 0 && errno != ENOENT) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

int listObjects(std::ostream& out, std::ostream& err) {
    Survey found;
    if (!survey(found, err)) return kExitFailed;
    if (found.objects.empty()) {
        out << "No Zolt channel objects in " << kSharedMemoryFolder << ".\n";
    } else {
        std::vector<std::vector<std::string>> rows{{"STEM", "OBJECT", "FILE", "OWNER", "MODE", "SIZE", "STATE", "USED BY"}};
        bool unseenMatter = false;
        for (const ChannelObject& object : found.objects) {
            rows.push_back({shownStem(object.stem), kindName(object.kind), object.path, userName(object.owner),
                            octal(object.mode), std::to_string(object.size), stateText(object),
                            usedByText(found, object)});
            unseenMatter = unseenMatter || (usersOf(found, object).empty() && mightBeUsedUnseen(found, object));
        }
        printTable(rows, out);
        if (unseenMatter) reportUninspected(found, err);
    }
    return kExitDone;
}

int cleanObjects(const CleanOptions& options, std::ostream& out, std::ostream& err) {
    const uid_t self = ::geteuid();
    if (options.allUsers && self != 0) {
        err << "zolt-objects: --all-users needs root: only root may remove other users' objects\n";
        return kExitUsage;
    }
    Survey found;
    if (!survey(found, err)) return kExitFailed;
    const std::set<std::string> named(options.stems.begin(), options.stems.end());

    // A stem's mailbox and event go together: both or neither.
    std::map<std::string, std::vector<const ChannelObject*>> byStem;
    for (const ChannelObject& object : found.objects)
        if (named.empty() || named.count(object.stem) != 0) byStem[object.stem].push_back(&object);

    int exitCode = kExitDone;
    bool unseenMatter = false;
    std::set<std::string> stemsLeft;
    for (const auto& [stem, objects] : byStem) {
        std::string reason;
        for (const ChannelObject* object : objects) {
            if (object->owner != self && !options.allUsers) {
                reason = "belongs to " + userName(object->owner) + " (--all-users, as root, removes it)";
                break;
            }
            if (!usersOf(found, *object).empty()) {
                reason = "in use by " + processList(usersOf(found, *object));
                break;
            }
            if (!options.ignoreUninspected && mightBeUsedUnseen(found, *object)) {
                reason = "perhaps in use by a process that could not be inspected (--ignore-uninspected)";
                unseenMatter = true;
                break;
            }
        }
        if (!reason.empty()) {
            out << "kept " << shownStem(stem) << ": " << reason << "\n";
            stemsLeft.insert(stem);
            continue;
        }
        for (const ChannelObject* object : objects) {
            if (options.dryRun) {
                out << "would remove " << object->path << "\n";
                continue;
            }
            std::string error;
            if (removeObject(*object, error)) {
                out << "removed " << object->path << "\n";
            } else {
                err << "zolt-objects: cannot remove " << object->path << ": " << error << "\n";
                exitCode = kExitFailed;
                stemsLeft.insert(stem);
            }
        }
    }
    for (const std::string& stem : options.stems)
        if (byStem.count(stem) == 0) out << "no objects of stem " << shownStem(stem) << "\n";
    if (byStem.empty() && named.empty()) out << "Nothing to clean in " << kSharedMemoryFolder << ".\n";
    if (unseenMatter) reportUninspected(found, err);
    if (exitCode == kExitDone)
        for (const std::string& stem : options.stems)
            if (stemsLeft.count(stem) != 0) exitCode = kExitStemsLeft;
    return exitCode;
}

}  // namespace zolt_objects
