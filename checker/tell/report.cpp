#include "checker/tell/report.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "checker/find/paths.h"
#include "text/row_table.h"
#include "text/text.h"
#include "plugin/menu_row.h"
#include "plugin/settings_flag.h"

namespace {

// Addresses as the game's: six hex digits.
std::string hex(std::uint64_t value) { return hexNumber(value, 6); }

// Short reasons for the verdict line; the details say where and why.
const char* reasonOf(HostCheck check) {
    switch (check) {
        case HostCheck::Fit: break;
        case HostCheck::PageSlot: return "the menu page's address cannot be read";
        case HostCheck::FlagSourceSlot: return "the flag byte's address cannot be read";
        case HostCheck::FlagOperand: return "the flag operand is not part of the game's code";
        case HostCheck::MenuRows: return "the menu page is not writable game data";
        case HostCheck::FlagByte: return "the flag byte is not writable game data";
        case HostCheck::EnterSettingsDirRoutine: return "the routine that enters the settings folder is not code";
        case HostCheck::SetDirRoutine: return "the routine called after the settings file is not code";
    }
    return "";
}

const char* checkKey(HostCheck check) {
    switch (check) {
        case HostCheck::Fit: return "fit";
        case HostCheck::PageSlot: return "page_slot";
        case HostCheck::FlagSourceSlot: return "flag_source_slot";
        case HostCheck::FlagOperand: return "flag_operand";
        case HostCheck::MenuRows: return "menu_rows";
        case HostCheck::FlagByte: return "flag_byte";
        case HostCheck::EnterSettingsDirRoutine: return "enter_settings_dir_routine";
        case HostCheck::SetDirRoutine: return "set_dir_routine";
    }
    return "";
}

const char* protectionWords(std::uint32_t protection) {
    switch (protection) {
        case PAGE_READONLY: return "read-only data";
        case PAGE_WRITECOPY: return "writable data";
        case PAGE_EXECUTE: case PAGE_EXECUTE_READ: return "code";
        case PAGE_EXECUTE_WRITECOPY: return "writable code";
        default: return "not accessible";
    }
}

// Where an address falls in the executable, in words.
std::string placeOf(const PeImage& image, HostAddress address) {
    const HostRegion region = imageRegion(image, address);
    if (!region.committed) return "outside the executable's sections";
    const ImageSection* section = sectionAt(image, address);
    if (section == nullptr) return std::string("in the executable's headers (") + protectionWords(region.protection) + ")";
    return "in section " + section->name + " (" + protectionWords(region.protection) + ")";
}

// How a verdict that the plug-in does not apply begins.
std::string notLaidOut(const HostProfile& build, bool signature) {
    const std::string name = buildName(build);
    if (signature) return "Build " + name + "'s signature, but not laid out as build " + name + ": ";
    return "Not laid out as any known build: ";
}

std::string verdictLine(const FileCheck& check) {
    if (check.check == HostCheck::Fit) {
        return std::string("Build ") + buildName(*check.build) + ": the plug-in will apply.";
    }
    return notLaidOut(*check.build, check.signature) + "the plug-in will leave this game untouched (" +
           reasonOf(check.check) + ").";
}

std::string whyLine(const PeImage& image, const FileCheck& check) {
    const HostProfile& b = *check.build;
    switch (check.check) {
        case HostCheck::Fit: break;
        case HostCheck::PageSlot:
            return "the slot at " + hex(b.pageSlot) + " that holds the menu page's address is " +
                   placeOf(image, b.pageSlot);
        case HostCheck::FlagSourceSlot:
            return "the slot at " + hex(b.flagSourceSlot) + " that holds the flag byte's address is " +
                   placeOf(image, b.flagSourceSlot);
        case HostCheck::FlagOperand:
            return "the operand at " + hex(b.flagDestSlot) + " is " + placeOf(image, b.flagDestSlot);
        case HostCheck::MenuRows: {
            HostAddress first = 0;
            if (!menuRowsAt(check.pageBase, &first)) {
                return "the menu page address " + hex(check.pageBase) +
                       " would put the rows past the end of memory";
            }
            const HostAddress last = first + sizeof(MenuRowBlock) - 1;
            const std::string begin = placeOf(image, first);
            const std::string end = placeOf(image, last);
            const std::string where = begin == end ? "lie " + begin : "begin " + begin + ", and end " + end;
            return "the nine rows, " + hex(first) + " to " + hex(last) + " (menu page " +
                   hex(check.pageBase) + " + " + std::to_string(kRowBlockOffset) + "), " + where;
        }
        case HostCheck::FlagByte:
            return "the flag byte at " + hex(check.flagAddress) + " is " + placeOf(image, check.flagAddress);
        case HostCheck::EnterSettingsDirRoutine:
            return "the routine at " + hex(b.enterSettingsDirRoutine) + " is " +
                   placeOf(image, b.enterSettingsDirRoutine);
        case HostCheck::SetDirRoutine:
            return "the routine at " + hex(b.setDirRoutine) + " is " + placeOf(image, b.setDirRoutine);
    }
    return "";
}

std::string buildLine(const FileCheck& check) {
    const HostProfile& b = *check.build;
    if (check.signature) {
        return std::string("build ") + buildName(b) + ": its signature 55 89 E5 53 stands at " +
               hex(b.probeAddress);
    }
    return "no build signature at " + hex(BuildA.probeAddress) + " or " + hex(BuildB.probeAddress) +
           "; build C has none, so the plug-in tries build C's places and checks each one";
}

std::string settingsWords(const FileCheck& check) {
    const SettingsFile& s = check.settings;
    const std::string folder = shownName(textOf(pathOf(s.path).parent_path()));
    const std::string file = shownName(s.path);
    if (!s.found) {
        return "no " + std::string(kSettingsFileName) + " in " + folder +
               ": the game's value stays (--settings names another folder)";
    }
    if (!s.hasFlagByte) {
        return file + " has " + std::to_string(s.size) + " bytes, none at " +
               std::to_string(kSettingsFlagOffset) + ": the game's value stays" +
               (check.flagBefore == kUnsetFlag ? ", and 0x73 counts as 0" : "");
    }
    std::string words = "byte " + std::to_string(kSettingsFlagOffset) + " of " + file + " is " +
                        hexNumber(s.flagByte, 2);
    if (s.flagByte == kUnsetFlag) words += ", an 's', which stands for 0";
    return words;
}

// Why the game reads the settings file it reads, when Windows has a say in it.
std::string settingsSourceWords(const SettingsChoice& choice) {
    switch (choice.source) {
        case SettingsSource::Folder: break;
        case SettingsSource::VirtualStore:
            return "the game reads " + shownName(choice.copy) + ": Windows keeps a copy of the files that a game "
                   "without a manifest changes under Program Files, ProgramData or the Windows folder, in "
                   "the player's VirtualStore, and gives the game that copy instead of the file in its folder.";
        case SettingsSource::NotVirtualised:
            return "the game's manifest names an execution level, so Windows does not redirect it to the "
                   "VirtualStore: it reads the file in its folder, not the copy " + shownName(choice.copy) + ".";
    }
    return "";
}

const char* settingsSourceKey(SettingsSource source) {
    switch (source) {
        case SettingsSource::Folder: break;
        case SettingsSource::VirtualStore: return "virtual_store";
        case SettingsSource::NotVirtualised: return "folder_not_virtualised";
    }
    return "folder";
}

// "Label        text", the text wrapped under itself at word breaks.
std::string field(const std::string& label, const std::string& text) {
    constexpr std::size_t kIndent = 13;
    constexpr std::size_t kWidth = 96;
    std::string lines;
    std::string line = label + std::string(kIndent - label.size(), ' ');
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        const bool first = line.size() == kIndent;
        if (!first && line.size() + 1 + word.size() > kWidth) {
            lines += line + "\n";
            line = std::string(kIndent, ' ');
        } else if (!first) {
            line += ' ';
        }
        line += word;
        at = end + 1;
    }
    return lines + line + "\n";
}

std::string flagOperandLine(HostAddress at, std::uint32_t before, std::uint32_t after) {
    return textf("Flag operand at %s: %s -> %s (the flag byte's address)\n", hex(at).c_str(),
                 hex(before).c_str(), hex(after).c_str());
}

// JSON, written out by hand: a handful of flat values. Names of files and
// processes go out as they are if they are UTF-8; any byte that is not (a
// Linux file name may hold any) becomes U+FFFD, so the object stays valid.
std::string json(const std::string& text) {
    std::string quoted = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            quoted += textf("\\u%04x", c);
        } else if (c >= 0x80) {
            const std::size_t length = utf8SequenceLength(text, at);
            quoted += length == 0 ? "\\ufffd" : text.substr(at, length);
            at += length == 0 ? 1 : length;
            continue;
        } else {
            quoted += static_cast<char>(c);
        }
        ++at;
    }
    return quoted + "\"";
}
std::string json(bool value) { return value ? "true" : "false"; }
std::string json(std::uint64_t value) { return std::to_string(value); }

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string object(const Fields& fields) {
    std::string text = "{";
    for (const auto& [key, value] : fields) {
        if (text.size() > 1) text += ", ";
        text += json(key) + ": " + value;
    }
    return text + "}";
}

std::string array(const std::vector<std::string>& items) {
    std::string text = "[";
    for (const std::string& item : items) text += (text.size() > 1 ? ", " : "") + item;
    return text + "]";
}

const char* appliedWord(Applied applied) {
    switch (applied) {
        case Applied::Yes: return "yes";
        case Applied::Partly: return "partly";
        case Applied::No: break;
    }
    return "no";
}

// The value the plug-in reads at a place, in words.
std::string valueWords(const HostProfile& build, const HiddenValue& value) {
    const std::string name = buildName(build);
    switch (value.what) {
        case ValueRead::SignatureProbe:
            return std::string("build ") + (value.address == BuildA.probeAddress ? "A" : "B") + "'s signature";
        case ValueRead::PageSlot: return "the menu page's address (build " + name + "'s slot)";
        case ValueRead::FlagSourceSlot: return "the flag byte's address (build " + name + "'s slot)";
        case ValueRead::FlagOperand: return "the flag operand (build " + name + "'s)";
    }
    return "";
}

const char* valueKey(ValueRead what) {
    switch (what) {
        case ValueRead::SignatureProbe: return "signature_probe";
        case ValueRead::PageSlot: return "page_slot";
        case ValueRead::FlagSourceSlot: return "flag_source_slot";
        case ValueRead::FlagOperand: return "flag_operand";
    }
    return "";
}

const char* heldKey(Held held) {
    switch (held) {
        case Held::InFile: return "in_file";
        case Held::NoRawData: return "no_raw_data";
        case Held::PastRawData: return "past_raw_data";
        case Held::PastEndOfFile: return "past_end_of_file";
        case Held::NotMapped: return "not_mapped";
    }
    return "";
}

std::string inSection(const std::string& section) {
    return section.empty() ? "in the executable's headers" : "in section " + section;
}

// What the code measure found, in words.
std::string codeWords(const CodeMeasure& code) {
    if (std::uint64_t{code.filler} * 4 > std::uint64_t{code.window} * 3) {
        return textf("%u of %u bytes are one instruction repeated (zeros, or one value), where code has other "
                     "instructions than padding",
                     code.filler, code.window);
    }
    return textf("%.1f%% of the %u instructions in %u bytes are ones compilers never emit, or no instruction at "
                 "all, where plain code stays below %.1f%%",
                 code.oddPercent(), code.instructions, code.window, oddPercentFor(code.window));
}

// Why the file does not hold values as the game will have them: all in one
// section, for one reason (the first value's; the measure's range over all).
std::string hiddenWords(const std::vector<const HiddenValue*>& values) {
    const HiddenValue& first = *values.front();
    const std::string where = inSection(first.section);
    const bool one = values.size() == 1;
    switch (first.held) {
        case Held::InFile: {
            if (first.notCode) return where + ", whose bytes around " + (one ? "it are" : "them are") +
                                      " not plain x86 code: " + codeWords(first.code);
            double lowest = 8;
            double highest = 0;
            for (const HiddenValue* value : values) {
                lowest = std::min(lowest, value->entropy.bitsPerByte);
                highest = std::max(highest, value->entropy.bitsPerByte);
            }
            const std::string measured = lowest == highest ? textf("%.2f", lowest) : textf("%.2f to %.2f", lowest, highest);
            return where + ", whose bytes around " + (one ? "it look" : "them look") + " encrypted or compressed: " +
                   measured + textf(" bits per byte over %u bytes, where plain code stays below %.2f",
                                    first.entropy.window, packedEntropyFor(first.entropy.window));
        }
        case Held::NoRawData:
            return where + ", which has no data in the file: it is filled when the game starts, if at all";
        case Held::PastRawData:
            return where + ", past the end of its data in the file: " + (one ? "it is" : "they are") +
                   " filled when the game starts, if at all";
        case Held::PastEndOfFile: return where + ", past the end of the file, which is cut short";
        case Held::NotMapped: break;
    }
    return "outside the executable's sections";
}

// The hidden values grouped by section and reason, in the order they were read.
std::vector<std::string> hiddenLines(const FileCheck& check) {
    std::vector<std::vector<const HiddenValue*>> groups;
    for (const HiddenValue& value : check.hidden) {
        const auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) {
            return g.front()->section == value.section && g.front()->held == value.held &&
                   g.front()->notCode == value.notCode;
        });
        if (group == groups.end()) {
            groups.push_back({&value});
        } else {
            group->push_back(&value);
        }
    }
    std::vector<std::string> lines;
    for (const auto& group : groups) {
        std::string values;
        for (const HiddenValue* value : group) {
            values += (values.empty() ? "" : ", ") + valueWords(*check.build, *value) + " at " + hex(value->address);
        }
        lines.push_back(values + ": " + hiddenWords(group));
    }
    return lines;
}

// What a packer or wrapper usually leaves, as support for the words; empty where none.
std::string signsWords(const PackerSigns& signs) {
    std::string words;
    if (!signs.upxSections.empty()) {
        std::string names;
        for (const std::string& name : signs.upxSections) names += (names.empty() ? "" : ", ") + name;
        words = "UPX's sections (" + names + ")";
    }
    if (signs.entryOutsideCode) {
        const std::string entry = signs.entrySection.empty() ? "outside its sections" : "in section " + signs.entrySection;
        const std::string first = signs.firstCodeSection.empty()
                                      ? ", and no section is marked as code"
                                      : ", not in " + signs.firstCodeSection + ", its first section of code";
        words += (words.empty() ? "its" : "; its") + std::string(" entry point lies ") + entry + first;
    }
    return words;
}

// Each executable beside it that the plug-in applies to, or that hides its code, in words.
std::vector<std::string> besideWords(const FileCheck& check) {
    std::vector<std::string> lines;
    for (const BesideGame& game : check.beside) {
        const std::string name = shownName(textOf(pathOf(game.path).filename()));
        if (game.build != nullptr) {
            lines.push_back(name + " beside it is build " + buildName(*game.build) +
                            ": the plug-in will apply to it");
        } else {
            lines.push_back(name + " beside it cannot be told from its file (packed or encrypted): check it "
                                   "while it runs, with --process " + name);
        }
    }
    return lines;
}

std::string besideReport(const FileCheck& check) {
    if (!check.besideLooked) return "";
    std::vector<std::string> lines = besideWords(check);
    if (lines.empty()) {
        if (check.besideRead == 0) return "";
        lines.push_back("none of the " + std::to_string(check.besideRead) +
                        " other executables in its folder is one of the builds");
    } else if (std::any_of(check.beside.begin(), check.beside.end(),
                           [](const BesideGame& game) { return game.build != nullptr; })) {
        lines.push_back("If this is the game's launcher, check that one instead: it is likely the game.");
    }
    if (check.besideNotRead != 0) {
        lines.push_back("(" + std::to_string(check.besideNotRead) +
                        " more executables in its folder were not read: name the game's own)");
    }
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += field(i == 0 ? "Beside it" : "", lines[i]);
    return out;
}

// Why the file cannot tell, in a few words.
const char* hiddenReason(const FileCheck& check) {
    const auto any = [&check](bool (*is)(const HiddenValue&)) {
        return std::any_of(check.hidden.begin(), check.hidden.end(), is);
    };
    if (any([](const HiddenValue& v) { return v.held == Held::InFile && !v.notCode; })) {
        return "encrypted or compressed in the file, and restored when the game starts";
    }
    if (any([](const HiddenValue& v) { return v.notCode; })) {
        return "left in the file as zeros or as other bytes that stand for the code, and restored when the game "
               "starts";
    }
    return "left to be filled when the game starts, as a packed game's code is";
}

// The file and what it does not hold: the executable, the values, the signs.
std::string hiddenDetails(const std::string& path, const PeImage& image, const FileCheck& check) {
    std::string out;
    if (!check.shortcut.empty()) out += field("Shortcut", shownName(check.shortcut) + ", followed to:");
    out += field("Executable", shownName(path));
    out += field("", "PE32 for i386, image base " + hex(image.imageBase) + ", " +
                         std::to_string(image.sections.size()) + " sections");
    const std::vector<std::string> hidden = hiddenLines(check);
    for (std::size_t i = 0; i < hidden.size(); ++i) out += field(i == 0 ? "Not in file" : "", hidden[i]);
    const std::string signs = signsWords(check.signs);
    if (!signs.empty()) out += field("Signs", signs);
    return out;
}

std::string hiddenReport(const std::string& path, const PeImage& image, const FileCheck& check) {
    std::string out = std::string("Cannot tell from the file: what the plug-in reads is not in it as the game will "
                                  "have it (") + hiddenReason(check) + ").\n\n";
    out += hiddenDetails(path, image, check);
    const std::string name = shownName(textOf(pathOf(path).filename()));
    out += field("What to do",
                 "Start the game with menupatch.dll in its folder; while it runs, drag this file onto "
                 "menupatch-check again, or double-click menupatch-check (from a prompt: menupatch-check --process " +
                     name + "). That reads the game's memory as it runs.");
    return out + besideReport(check);
}

// A running game's state, after "In the running game (pid N): ".
std::string runningState(const RunningGame& game) {
    if (!game.problem.empty()) return "its memory could not be read (" + game.problem + ")";
    if (game.check.slots != HostCheck::Fit) {
        return std::string("it is untouched by the plug-in (") + reasonOf(game.check.slots) + ")";
    }
    switch (game.check.applied) {
        case Applied::Yes: return "the changes are in place";
        case Applied::Partly: return "the changes are partly in place: something else changed the same places";
        case Applied::No: break;
    }
    return "the changes are not in place";
}

std::string whoRuns(const RunningGame& game) {
    return "process " + std::to_string(game.pid) + " (" + shownName(game.name) + ")";
}

// A running game's report as --pid gives it; where its memory could not be
// read, a line that says so.
std::string runningGameReport(const RunningGame& game) {
    if (!game.problem.empty()) {
        return "Cannot tell: " + whoRuns(game) + " could not be read: " + game.problem + ".\n";
    }
    return processReport({game.pid, game.name}, game.check);
}

// The file cannot tell, and the game runs from it: its answer first, then why
// the file could not give it.
std::string answeredByRunningGame(const std::string& path, const PeImage& image, const FileCheck& check,
                                  const std::vector<RunningGame>& running) {
    std::string out;
    for (const RunningGame& game : running) {
        const std::string report = runningGameReport(game);
        const std::size_t firstLineEnd = report.find('\n') + 1;
        out += (out.empty() ? "" : "\n") + report.substr(0, firstLineEnd) + "\n";
        out += field("Answered by",
                     "the running game, " + whoRuns(game) + ", which runs this file: the file cannot tell, since "
                     "what the plug-in reads is " + hiddenReason(check) + ".");
        out += report.substr(firstLineEnd);
    }
    return out + "\nThe file\n" + hiddenDetails(path, image, check);
}

std::string runningLines(const std::vector<RunningGame>& running) {
    std::string out;
    for (const RunningGame& game : running) {
        out += "\nIn the running game (pid " + std::to_string(game.pid) + "): " + runningState(game) + ".\n";
    }
    return out;
}

Fields processFields(const ProcessName& process, const ProcessCheck& check) {
    const bool slots = check.slots == HostCheck::Fit;
    return {{"pid", json(std::uint64_t{process.pid})},
            {"process", json(process.name)},
            {"build", json(std::string(buildName(*check.build)))},
            {"signature", json(check.signature)},
            {"applied", json(std::string(appliedWord(check.applied)))},
            {"check", json(std::string(checkKey(check.slots)))},
            {"page_base", slots ? json(std::uint64_t{check.pageBase}) : "null"},
            {"flag_address", slots ? json(std::uint64_t{check.flagAddress}) : "null"},
            {"operand", check.operandRead ? json(std::uint64_t{check.operand}) : "null"},
            {"rows", check.rows.empty() ? "null" : json(hexBytes(check.rows))},
            {"rows_in_place", json(static_cast<std::uint64_t>(check.rowsInPlace))}};
}

// A running game found by the checker: its running-game result, or where its
// memory could not be read, that.
std::string runningGameJson(const RunningGame& game) {
    Fields fields;
    if (game.problem.empty()) {
        fields = processFields({game.pid, game.name}, game.check);
    } else {
        fields = {{"pid", json(std::uint64_t{game.pid})}, {"process", json(game.name)}, {"applied", "null"}};
    }
    fields.push_back({"plugin_loaded", json(game.pluginLoaded)});
    fields.push_back({"problem", game.problem.empty() ? "null" : json(game.problem)});
    return object(fields);
}

std::string runningGamesArray(const std::vector<RunningGame>& games) {
    std::vector<std::string> items;
    for (const RunningGame& game : games) items.push_back(runningGameJson(game));
    return array(items);
}

}  // namespace

std::string besideLine(const FileCheck& check) {
    std::string line;
    for (const std::string& words : besideWords(check)) line += "; " + words;
    return line;
}

namespace {

// The verdict read from the file, and what the plug-in will change.
std::string toldReport(const std::string& path, const PeImage& image, const FileCheck& check) {
    std::string out = verdictLine(check) + "\n\n";
    if (!check.shortcut.empty()) out += field("Shortcut", shownName(check.shortcut) + ", followed to:");
    out += field("Executable", shownName(path));
    out += field("", "PE32 for i386, image base " + hex(image.imageBase) + ", " +
                            std::to_string(image.sections.size()) + " sections");
    out += field("Build", buildLine(check));
    const std::string source = settingsSourceWords(check.settingsChoice);
    if (!source.empty()) out += field("Settings", source);
    if (check.canMove) {
        out += field("Warning",
                   "this executable can be moved at load (it has relocations and asks for a dynamic "
                   "base), so the fixed addresses the plug-in uses need not hold in the running game: "
                   "check the running game with --process.");
    }
    if (check.check != HostCheck::Fit) {
        out += field("Why", whyLine(image, check));
        out += field("What to do",
                   "The plug-in knows three builds of the game. This executable is none of them, or has "
                   "been changed since (by an update or another patch). With one of the known builds the "
                   "plug-in applies.");
        out += besideReport(check);
        if (!check.rowsBefore.empty()) {
            out += textf("\nMenu page at %s, rows from +%u, as the executable has them:\n\n",
                         hex(check.pageBase).c_str(), kRowBlockOffset);
            out += rowTable("Now", check.rowsBefore.data());
        }
        return out;
    }
    const HostProfile& b = *check.build;
    out += field("Checked",
               "the slots at " + hex(b.pageSlot) + " and " + hex(b.flagSourceSlot) +
                   " can be read, the operand at " + hex(b.flagDestSlot) +
                   " is there, the nine rows and the flag byte can be written, and the routines at " +
                   hex(b.enterSettingsDirRoutine) + " and " + hex(b.setDirRoutine) + " are code.");
    out += textf("\nWhen the game loads it, the plug-in will change:\n\n");
    out += flagOperandLine(b.flagDestSlot, check.operandBefore, check.operandAfter);
    out += textf("Menu page at %s, rows from +%u:\n\n", hex(check.pageBase).c_str(), kRowBlockOffset);
    out += rowTable("Before", check.rowsBefore.data());
    out += "\n";
    out += rowTable("After", check.rowsAfter.data());
    out += textf("\nFlag byte at %s:    %s -> %s (%s)\n", hex(check.flagAddress).c_str(),
                 hexNumber(check.flagBefore, 2).c_str(), hexNumber(check.flagAfter, 2).c_str(),
                 settingsWords(check).c_str());
    out += textf("\nIt reads the settings file between two calls of the game's own routines: %s\n"
                      "(which makes the settings folder current) and %s (with \"\").\n",
                 hex(b.enterSettingsDirRoutine).c_str(), hex(b.setDirRoutine).c_str());
    return out;
}

}  // namespace

std::string fileReport(const std::string& path, const PeImage& image, const FileCheck& check,
                       const std::vector<RunningGame>& running) {
    if (!check.hidden.empty()) {
        return running.empty() ? hiddenReport(path, image, check) : answeredByRunningGame(path, image, check, running);
    }
    return toldReport(path, image, check) + runningLines(running);
}

std::string fileJson(const std::string& path, const PeImage& image, const FileCheck& check,
                     const std::vector<RunningGame>& running) {
    std::vector<std::string> changes;
    for (const WrittenRun& run : check.changes) {
        changes.push_back(object({{"address", json(std::uint64_t{run.address})},
                                  {"before", json(hexBytes(run.before))},
                                  {"after", json(hexBytes(run.after))}}));
    }
    std::vector<std::string> calls;
    for (const RoutineCall& call : check.calls) {
        calls.push_back(object({{"routine", json(std::uint64_t{call.routine})},
                                {"argument", call.withText ? json(call.text) : "null"}}));
    }
    const SettingsFile& s = check.settings;
    const Fields settings = {
        {"file", json(s.path)},
        {"found", json(s.found)},
        {"size", s.found ? json(s.size) : "null"},
        {"flag_byte", s.hasFlagByte ? json(std::uint64_t{s.flagByte}) : "null"},
        {"source", json(std::string(settingsSourceKey(check.settingsChoice.source)))},
        {"virtual_store_copy", check.settingsChoice.copy.empty() ? "null" : json(check.settingsChoice.copy)}};
    // Where the file hides what the plug-in reads, nothing of the dry run stands.
    const bool told = check.hidden.empty();
    const bool fit = told && check.check == HostCheck::Fit;
    std::vector<std::string> hidden;
    for (const HiddenValue& value : check.hidden) {
        const bool measured = value.held == Held::InFile;
        const bool code = value.code.window != 0;
        hidden.push_back(object({{"what", json(std::string(valueKey(value.what)))},
                                 {"address", json(std::uint64_t{value.address})},
                                 {"section", value.section.empty() ? "null" : json(value.section)},
                                 {"held", json(std::string(heldKey(value.held)))},
                                 {"entropy", measured ? textf("%.3f", value.entropy.bitsPerByte) : "null"},
                                 {"window", measured ? json(std::uint64_t{value.entropy.window}) : "null"},
                                 {"not_code", json(value.notCode)},
                                 {"odd_percent", code ? textf("%.2f", value.code.oddPercent()) : "null"},
                                 {"filler_bytes", code ? json(std::uint64_t{value.code.filler}) : "null"},
                                 {"code_window", code ? json(std::uint64_t{value.code.window}) : "null"}}));
    }
    std::vector<std::string> upx;
    for (const std::string& name : check.signs.upxSections) upx.push_back(json(name));
    const Fields signs = {
        {"upx_sections", array(upx)},
        {"entry_section", check.signs.entrySection.empty() ? "null" : json(check.signs.entrySection)},
        {"entry_outside_code", json(check.signs.entryOutsideCode)}};
    std::vector<std::string> beside;
    for (const BesideGame& game : check.beside) {
        beside.push_back(object({{"file", json(game.path)},
                                 {"build", game.build != nullptr ? json(std::string(buildName(*game.build))) : "null"},
                                 {"applies", game.build != nullptr ? "true" : "null"}}));
    }
    const auto ifTold = [told](const std::string& value) { return told ? value : std::string("null"); };
    Fields fields = {
        {"file", json(path)},
        {"shortcut", check.shortcut.empty() ? "null" : json(check.shortcut)},
        {"image_base", json(std::uint64_t{image.imageBase})},
        {"build", ifTold(json(std::string(buildName(*check.build))))},
        {"signature", ifTold(json(check.signature))},
        {"applies", ifTold(json(fit))},
        {"check", told ? json(std::string(checkKey(check.check))) : json(std::string("hidden"))},
        {"reason", fit ? "null" : told ? json(std::string(reasonOf(check.check)))
                                       : json(std::string("what the plug-in reads is not in the file as the game "
                                                          "will have it"))},
        {"hidden", array(hidden)},
        {"packer_signs", object(signs)},
        {"relocatable", json(check.canMove)},
        {"page_base", check.slotsRead && told ? json(std::uint64_t{check.pageBase}) : "null"},
        {"flag_address", check.slotsRead && told ? json(std::uint64_t{check.flagAddress}) : "null"},
        {"rows_before", check.rowsBefore.empty() || !told ? "null" : json(hexBytes(check.rowsBefore))},
        {"rows_after", check.rowsAfter.empty() || !told ? "null" : json(hexBytes(check.rowsAfter))},
        {"operand_before", check.operandRead && told ? json(std::uint64_t{check.operandBefore}) : "null"},
        {"operand_after", check.operandRead && told ? json(std::uint64_t{check.operandAfter}) : "null"},
        {"flag_before", check.flagRead && told ? json(std::uint64_t{check.flagBefore}) : "null"},
        {"flag_after", check.flagRead && told ? json(std::uint64_t{check.flagAfter}) : "null"},
        {"changes", told ? array(changes) : "[]"},
        {"calls", told ? array(calls) : "[]"},
        {"settings", object(settings)},
        {"beside", check.besideLooked ? array(beside) : "null"},
        {"beside_not_read", json(std::uint64_t{check.besideNotRead})},
        {"running_games", runningGamesArray(running)}};
    return object(fields) + "\n";
}

std::string processReport(const ProcessName& process, const ProcessCheck& check) {
    const std::string who = "process " + std::to_string(process.pid) + " (" + shownName(process.name) + ")";
    const std::string build = buildName(*check.build);
    if (check.slots != HostCheck::Fit) {
        return textf("%s%s is untouched by the plug-in, so its changes are not in place (%s).\n",
                     notLaidOut(*check.build, check.signature).c_str(), who.c_str(), reasonOf(check.slots));
    }
    std::string out;
    const bool operandInPlace = check.operandRead && check.operand == check.flagAddress;
    switch (check.applied) {
        case Applied::Yes:
            out += textf("Build %s, %s: the plug-in's changes are in place.\n", build.c_str(), who.c_str());
            break;
        case Applied::No:
            out += textf("Build %s, %s: the plug-in's changes are not in place (the game's own rows are "
                              "there).\n", build.c_str(), who.c_str());
            break;
        case Applied::Partly:
            out += textf("Build %s, %s: the plug-in's changes are partly in place: something else changed "
                              "the same places.\n", build.c_str(), who.c_str());
            break;
    }
    out += "\n";
    if (check.operandRead) {
        out += textf("Flag operand at %s: %s (%s)\n", hex(check.build->flagDestSlot).c_str(),
                     hex(check.operand).c_str(),
                     operandInPlace ? "the flag byte's address: in place" : "not the flag byte's address");
    } else {
        out += textf("Flag operand at %s: cannot be read\n", hex(check.build->flagDestSlot).c_str());
    }
    out += textf("Menu page at %s, rows from +%u: %d of the %u rows are the plug-in's\n",
                 hex(check.pageBase).c_str(), kRowBlockOffset, check.rowsInPlace,
                 static_cast<unsigned>(kMenuRowCount));
    if (!check.rows.empty()) {
        out += "\n";
        out += rowTable("Now", check.rows.data());
    }
    if (check.applied == Applied::No) {
        out += textf("\nIs menupatch.dll in the game's folder, and was the game started after it was "
                          "put there?\n");
    }
    return out;
}

std::string processJson(const ProcessName& process, const ProcessCheck& check) {
    return object(processFields(process, check)) + "\n";
}

std::string runningGamesReport(const RunningGames& found) {
    const std::string notRead =
        found.notRead == 0 ? ""
                           : "\n" + std::to_string(found.notRead) + (found.notRead == 1 ? " running process" : " running processes") +
                                 " this user may not read " + (found.notRead == 1 ? "was" : "were") + " passed over.\n";
    const std::string lookedAt = std::to_string(found.lookedAt) + (found.lookedAt == 1 ? " running process" : " running processes");
    if (found.games.empty()) {
        return "No running game found: none of the " + lookedAt +
               " looked at has menupatch.dll loaded or holds build A's or build B's signature.\n\n" +
               field("What to do",
                     "To check the game's file, drag its executable (or its shortcut) onto menupatch-check, or name "
                     "it: menupatch-check GAME.exe. To check the running game, start it with menupatch.dll in its "
                     "folder, then start menupatch-check again (a double-click) while the game runs.") +
               notRead;
    }
    std::string out = "Running games found: " + std::to_string(found.games.size()) + " of the " + lookedAt +
                      " looked at.\n";
    for (const RunningGame& game : found.games) {
        out += "\n" + shownName(game.name) + ", process " + std::to_string(game.pid) +
               (game.pluginLoaded ? " (menupatch.dll loaded)" : "") + ":\n" + runningGameReport(game);
    }
    return out + notRead;
}

std::string runningGamesJson(const RunningGames& found) {
    return object({{"check", json(std::string("running_games"))},
                   {"looked_at", json(std::uint64_t{found.lookedAt})},
                   {"not_read", json(std::uint64_t{found.notRead})},
                   {"games", runningGamesArray(found.games)}}) +
           "\n";
}
