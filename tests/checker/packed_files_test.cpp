// menupatch-check on executables as players may have them: wrapped by a DRM
// wrapper, packed, changed by other tools, or a launcher beside the game.
// Each file is written by write_game's code and then changed here.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "checker/read/pe_image.h"
#include "substitute_host/game_executable.h"
#include "tests/support/checker_run.h"
#include "tests/support/drm_wrapper.h"
#include "tests/support/json_reader.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr std::size_t kGameCode = 1;  // write_game's sections: stub code, game code, data, probe page
constexpr std::size_t kProbeSection = 3;
constexpr std::uint32_t kSectionExecutes = 0x20000000;

GameSetup build(const char* name) {
    GameSetup setup;
    setupOfBuild(name, &setup);
    return setup;
}

std::vector<unsigned char> noise(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> bytes(size);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng());
    return bytes;
}

std::vector<unsigned char> wrapped(const char* name, bool encrypt, bool substitute = false) {
    std::vector<unsigned char> file = gameExecutable(build(name));
    std::string why;
    WrapOptions options;
    options.encrypt = encrypt;
    options.substitute = substitute;
    EXPECT_TRUE(wrapExecutable(&file, options, &why)) << why;
    return file;
}

// A wrapper's stub over the code, whose bytes the file leaves as zeros (their
// sizes kept): the stub restores them from elsewhere when the game starts.
std::vector<unsigned char> codeAsZeros(const char* name) {
    std::vector<unsigned char> file = wrapped(name, false);
    PeImage image;
    EXPECT_EQ(readPeImage(file, &image).problem, ImageProblem::None);
    for (const ImageSection& section : image.sections) {
        if ((section.characteristics & kSectionExecutes) && section.name != ".bind") {
            std::fill(file.begin() + section.rawOffset, file.begin() + section.rawOffset + section.rawSize, 0);
        }
    }
    return file;
}

// Real code of a compiler (gcc's, in Wine's kernel32.dll) laid over the game's
// code pages, the game's own values kept where they stand.
std::vector<unsigned char> overRealCode(const char* name) {
    const GameSetup setup = build(name);
    std::vector<unsigned char> game = gameBytesOf(setup);
    std::vector<unsigned char> code;
    std::ifstream file("/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll", std::ios::binary);
    {
        const std::vector<unsigned char> dll{std::istreambuf_iterator<char>(file), {}};
        PeImage image;
        if (readPeImage(dll, &image).problem == ImageProblem::None && !image.sections.empty()) {
            const ImageSection& text = image.sections.front();
            code.assign(dll.begin() + text.rawOffset, dll.begin() + text.rawOffset + std::min<std::size_t>(text.rawSize, 0x10000));
        }
    }
    EXPECT_GE(code.size(), 0x10000u) << "Wine's kernel32.dll, as scripts/install-deps.sh installs it";
    if (code.empty()) return {};
    // The game's own values (every build's slots and routines, the signatures) stay where they stand.
    std::vector<bool> own(game.size(), false);
    const auto keep = [&](HostAddress address, std::uint32_t size) {
        for (std::uint32_t i = 0; i < size; ++i) own[address - kGameBegin + i] = true;
    };
    for (const HostProfile& b : kBuilds) {
        keep(b.pageSlot, 4), keep(b.flagSourceSlot, 4), keep(b.flagDestSlot, 4);
        keep(b.enterSettingsDirRoutine, 1), keep(b.setDirRoutine, 1);
    }
    if (setup.signatureAtA) keep(kProbeA, 4);
    if (setup.signatureAtB) keep(kProbeB, 4);
    for (HostAddress page : {kCodeBase, kProbePage}) {
        const std::uint32_t size = page == kCodeBase ? kCodeSize : kPageSize;
        for (std::uint32_t i = 0; i < size; ++i) {
            const std::size_t at = page - kGameBegin + i;
            if (!own[at]) game[at] = code[(page - kCodeBase + i) % code.size()];
        }
    }
    return gameExecutable(setup, game);
}

// Sections of a layout changed before it is written.
std::vector<unsigned char> laidOut(const char* name, const std::function<void(ExeLayout&)>& change) {
    const GameSetup setup = build(name);
    ExeLayout layout = gameLayout(setup, gameBytesOf(setup));
    change(layout);
    return writeExecutable(layout);
}

// Its code sections' data encrypted in place, as a wrapper that restores them from elsewhere.
std::vector<unsigned char> encrypted(const char* name, const std::function<bool(std::size_t)>& which) {
    return laidOut(name, [&](ExeLayout& layout) {
        for (std::size_t i = 0; i < layout.sections.size(); ++i) {
            if (!which(i)) continue;
            const std::vector<unsigned char> key = noise(layout.sections[i].data.size(), static_cast<unsigned>(i));
            for (std::size_t b = 0; b < key.size(); ++b) layout.sections[i].data[b] ^= key[b];
        }
    });
}

// The checksum Windows computes for an executable, over the file with its own field as 0.
void putChecksum(std::vector<unsigned char>& file) {
    const std::size_t field = kExeOptionalHeader + 64;
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < file.size(); at += 2) {
        if (at >= field && at < field + 4) continue;
        sum += file[at] | (at + 1 < file.size() ? file[at + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    const std::uint32_t checksum = static_cast<std::uint32_t>(sum + file.size());
    for (int i = 0; i < 4; ++i) file[field + i] = static_cast<unsigned char>(checksum >> (8 * i));
}

// The page at `page` split out of the section that holds it into a section of
// its own whose file data is its first `rawSize` bytes, changed by `change`;
// the sections' data laid back to back again, as a linker would.
void pageOnItsOwn(ExeLayout& layout, HostAddress page, std::uint32_t rawSize,
                  const std::function<void(std::vector<unsigned char>&)>& change) {
    std::vector<ExeSection> sections;
    for (const ExeSection& s : layout.sections) {
        if (page < s.begin || page >= s.begin + s.virtualSize) {
            sections.push_back(s);
            continue;
        }
        const auto dataOf = [&s](HostAddress from, std::uint32_t size) {
            std::vector<unsigned char> data(size, 0);
            for (std::uint32_t i = 0; i < size && from - s.begin + i < s.data.size(); ++i) data[i] = s.data[from - s.begin + i];
            return data;
        };
        if (page > s.begin) sections.push_back({s.name, s.begin, page - s.begin, 0, 0, s.characteristics, dataOf(s.begin, page - s.begin)});
        std::vector<unsigned char> own = dataOf(page, rawSize);
        change(own);
        sections.push_back({".page", page, kPageSize, 0, 0, s.characteristics, own});
        const HostAddress after = page + kPageSize;
        const std::uint32_t rest = s.begin + s.virtualSize - after;
        if (rest != 0) sections.push_back({s.name, after, rest, 0, 0, s.characteristics, dataOf(after, rest)});
    }
    std::uint32_t fileEnd = kExeHeadersSize;
    for (ExeSection& section : sections) {
        section.rawSize = static_cast<std::uint32_t>(section.data.size());
        section.rawOffset = section.data.empty() ? 0 : fileEnd;
        fileEnd += section.rawSize;
    }
    layout.sections = sections;
}

void encrypt(std::vector<unsigned char>& data) {
    const std::vector<unsigned char> key = noise(data.size(), 3);
    for (std::size_t b = 0; b < data.size(); ++b) data[b] ^= key[b];
}

std::vector<unsigned char> packedByUpx(const char* name, const TempFolder& temp) {
    const std::string plain = temp.path + "/plain.exe";
    const std::string packed = temp.path + "/upx.exe";
    writeFile(plain, gameExecutable(build(name)));
    const std::string command = "bash '" MENUPATCH_UPX_SCRIPT "' run -q -q -o '" + packed + "' '" + plain + "' 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string said;
    char line[256];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) said += line;
    EXPECT_EQ(pipe != nullptr ? pclose(pipe) : -1, 0) << "UPX 4 (scripts/upx.sh fetch): " << said;
    std::filesystem::remove(plain);
    std::vector<unsigned char> bytes(std::filesystem::exists(packed) ? std::filesystem::file_size(packed) : 0);
    std::FILE* file = std::fopen(packed.c_str(), "rb");
    if (file != nullptr) {
        EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
        std::fclose(file);
    }
    std::filesystem::remove(packed);
    return bytes;
}

struct PackedCase {
    const char* name;
    std::function<std::vector<unsigned char>(const TempFolder&)> file;
    int status;
    std::string firstLine;  // its beginning
    std::vector<std::string> facts;
};

void PrintTo(const PackedCase& c, std::ostream* out) { *out << c.name; }

const std::string kCannotTell = "Cannot tell from the file: what the plug-in reads is not in it as the game will have it";
const std::string kHidden = fact("check", quoted("hidden"));

const PackedCase kPackedCases[] = {
    // What the file does not hold as the game will: no verdict, and never build C.
    {"EveryCodeSectionEncrypted_A", [](const TempFolder&) { return wrapped("A", true); }, 2,
     kCannotTell + " (encrypted or compressed",
     {kHidden, fact("applies", "null"), fact("build", "null"), fact("held", quoted("in_file")),
      fact("entry_section", quoted(".bind")), fact("entry_outside_code", "true")}},
    {"CodeWithoutDataInTheFile_B",
     [](const TempFolder&) {
         return laidOut("B", [](ExeLayout& layout) {
             for (ExeSection& s : layout.sections) {
                 if (s.characteristics & kSectionExecutes) s.data.clear(), s.rawSize = 0, s.rawOffset = 0;
             }
         });
     },
     2, kCannotTell + " (left to be filled when the game starts",
     {kHidden, fact("held", quoted("no_raw_data")), fact("what", quoted("signature_probe"))}},
    {"OnlyTheSignaturesSectionEncrypted_A",
     [](const TempFolder&) { return encrypted("A", [](std::size_t i) { return i == kProbeSection; }); }, 2,
     kCannotTell, {kHidden, fact("build", "null"), fact("address", std::to_string(kProbeA))}},
    {"SlotsPastTheCodesDataInTheFile_A",
     [](const TempFolder&) {
         return laidOut("A", [](ExeLayout& layout) {
             layout.sections[kGameCode].data.resize(kPageSize);
             layout.sections[kGameCode].rawSize = kPageSize;
         });
     },
     2, kCannotTell, {kHidden, fact("what", quoted("page_slot")), fact("held", quoted("past_raw_data"))}},
    {"PackedByUpx_A", [](const TempFolder& temp) { return packedByUpx("A", temp); }, 2, kCannotTell,
     {kHidden, fact("section", quoted("UPX0")), fact("upx_sections", "[\"UPX0\", \"UPX1\", \"UPX2\"]")}},
    // Encrypted bytes in a small section measure lower than 4 KiB of the same
    // bytes would (here 7.88 bits over 1.5 KiB): held to the threshold for that window.
    {"SmallEncryptedSectionAtTheSlot_C",
     [](const TempFolder&) {
         return laidOut("C", [](ExeLayout& layout) { pageOnItsOwn(layout, 0x496000, 0x600, encrypt); });
     },
     2, kCannotTell + " (encrypted or compressed",
     {kHidden, fact("what", quoted("page_slot")), fact("section", quoted(".page")), fact("window", "1536")}},
    // The operand's old value is shown as the game's: where the file leaves it
    // to run time, the report cannot show it, whatever else fits.
    {"OnlyTheOperandLeftToRunTime_A",
     [](const TempFolder&) {
         return laidOut("A", [](ExeLayout& layout) {
             pageOnItsOwn(layout, 0x490000, 0x200, [](std::vector<unsigned char>&) {});
         });
     },
     2, kCannotTell + " (left to be filled when the game starts",
     {kHidden, fact("what", quoted("flag_operand")), fact("held", quoted("past_raw_data"))}},
    // Bytes that are not code where the game's code stands: zeros, or the code's
    // bytes through a substitution table. Neither looks random.
    {"CodeLeftAsZeros_A", [](const TempFolder&) { return codeAsZeros("A"); }, 2,
     kCannotTell + " (left in the file as zeros or as other bytes",
     {kHidden, fact("not_code", "true"), fact("filler_bytes", "4096"), fact("entry_section", quoted(".bind"))}},
    {"CodeSubstituted_A", [](const TempFolder&) { return wrapped("A", true, true); }, 2,
     kCannotTell + " (left in the file as zeros or as other bytes", {kHidden, fact("not_code", "true"), fact("build", "null")}},
    // Look-alikes over plain code: answered as before.
    {"RealCompiledCodeAround_A", [](const TempFolder&) { return overRealCode("A"); }, 0,
     "Build A: the plug-in will apply.", {fact("applies", "true")}},
    {"RealCompiledCodeAround_C", [](const TempFolder&) { return overRealCode("C"); }, 0,
     "Build C: the plug-in will apply.", {fact("applies", "true")}},
    // Build C's probe in the padding after the probe page's last function:
    // int3 to the end of its data, zeros after it as far as the page goes.
    {"ProbeInPaddingAtTheCodesEnd_C",
     [](const TempFolder&) {
         return laidOut("C", [](ExeLayout& layout) {
             ExeSection& probe = layout.sections[kProbeSection];
             std::fill(probe.data.begin() + 0xB80, probe.data.begin() + 0xC00, 0xCC);
             std::fill(probe.data.begin() + 0xC00, probe.data.end(), 0);
         });
     },
     0, "Build C: the plug-in will apply.", {fact("applies", "true")}},
    // A jump table (addresses into the code) right after the signature, as
    // compilers put one after the function that jumps through it.
    {"JumpTableBesideTheSignature_A",
     [](const TempFolder&) {
         return laidOut("A", [](ExeLayout& layout) {
             ExeSection& probe = layout.sections[kProbeSection];
             for (std::uint32_t i = 0; i < 64; ++i) {
                 const std::uint32_t target = kProbePage + 0x40 * i;
                 for (int b = 0; b < 4; ++b) probe.data[kProbeA + 4 - kProbePage + 4 * i + b] = static_cast<unsigned char>(target >> (8 * b));
             }
         });
     },
     0, "Build A: the plug-in will apply.", {fact("applies", "true")}},
    {"WrapperOverPlainCode_A", [](const TempFolder&) { return wrapped("A", false); }, 0,
     "Build A: the plug-in will apply.", {fact("applies", "true"), fact("entry_section", quoted(".bind"))}},
    {"UpxNamesOverPlainCode_A",
     [](const TempFolder&) {
         return laidOut("A", [](ExeLayout& layout) {
             layout.sections[0].name = "UPX0";
             layout.sections[kGameCode].name = "UPX1";
         });
     },
     0, "Build A: the plug-in will apply.", {fact("upx_sections", "[\"UPX0\", \"UPX1\"]")}},
    {"LargeAddressAwareWithItsChecksum_A",
     [](const TempFolder&) {
         std::vector<unsigned char> file = gameExecutable(build("A"));
         file[kExeNtHeader + 22] |= 0x20;
         putChecksum(file);
         return file;
     },
     0, "Build A: the plug-in will apply.", {fact("applies", "true")}},
    {"CompressedAssetsBesideThePlainCode_B",
     [](const TempFolder&) {
         return laidOut("B", [](ExeLayout& layout) {
             const ExeSection& last = layout.sections.back();
             std::vector<unsigned char> assets = noise(0x40000, 7);
             layout.sections.push_back({".rsrc", last.begin + last.virtualSize, 0x40000,
                                        last.rawOffset + last.rawSize, 0x40000, 0x40000040, assets});
             layout.sizeOfImage += 0x40000;
         });
     },
     0, "Build B: the plug-in will apply.", {fact("applies", "true")}},
    {"DataAppendedAfterTheLastSection_C",
     [](const TempFolder&) {
         std::vector<unsigned char> file = gameExecutable(build("C"));
         const std::vector<unsigned char> appended = noise(0x100000, 9);
         file.insert(file.end(), appended.begin(), appended.end());
         return file;
     },
     0, "Build C: the plug-in will apply.", {fact("build", quoted("C"))}},
};

class CheckerOnPackedFiles : public testing::TestWithParam<PackedCase> {};

TEST_P(CheckerOnPackedFiles, CannotTellWhereTheFileHidesWhatThePlugInReads) {
    const PackedCase& c = GetParam();
    TempFolder temp;
    const std::string exe = temp.path + "/game.exe";
    const std::vector<unsigned char> file = c.file(temp);
    ASSERT_FALSE(file.empty());
    writeFile(exe, file);

    const CheckerRun text = check({exe});
    const CheckerRun json = check({"--json", exe});

    EXPECT_EQ(text.status, c.status) << text.out << text.err;
    EXPECT_EQ(text.firstLine().rfind(c.firstLine, 0), 0u) << text.out;
    EXPECT_EQ(text.err, "");
    EXPECT_EQ(json.status, c.status);
    for (const std::string& f : c.facts) EXPECT_TRUE(json.says(f)) << f << "\n" << json.out;
    JsonValue report;
    ASSERT_TRUE(parseJson(json.out, &report)) << json.out;
    if (c.status == 2) {
        // Nothing of the dry run stands, and the player is told how to check the game.
        EXPECT_TRUE(text.says("What to do   Start the game with menupatch.dll in its folder; while it runs, drag this file onto\n"
                              "             menupatch-check again, or double-click menupatch-check (from a prompt:\n"
                              "             menupatch-check --process game.exe)."))
            << text.out;
        EXPECT_FALSE(report["hidden"].items.empty());
        EXPECT_EQ(report["changes"].items.size(), 0u);
        EXPECT_EQ(report.fields.count("rows_after"), 1u);
        EXPECT_EQ(report["rows_after"].kind, JsonValue::Kind::Null);
        EXPECT_EQ(report["applies"].kind, JsonValue::Kind::Null);
    } else {
        EXPECT_EQ(report["hidden"].items.size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CheckerOnPackedFiles, testing::ValuesIn(kPackedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A launcher (or any other program) checked instead of the game: the game
// beside it is named, with its build; and so is one that hides its code.
TEST(CheckerBesideTheGame, NamesTheGameBesideALauncher) {
    TempFolder temp;
    GameSetup none = build("C");
    none.overridePageBase = true;
    none.pageBase = 0;
    writeFile(temp.path + "/launcher.exe", gameExecutable(none));
    writeFile(temp.path + "/Game.EXE", gameExecutable(build("B")));
    writeFile(temp.path + "/wrapped.exe", wrapped("A", true));
    writeFile(temp.path + "/readme.txt", {'h', 'i'});

    const CheckerRun text = check({temp.path + "/launcher.exe"});
    const CheckerRun json = check({"--json", temp.path + "/launcher.exe"});

    EXPECT_EQ(text.status, 1) << text.out << text.err;
    EXPECT_TRUE(text.says("Beside it    wrapped.exe beside it cannot be told from its file (packed or encrypted):"))
        << text.out;
    EXPECT_TRUE(text.says("             Game.EXE beside it is build B: the plug-in will apply to it\n"
                          "             If this is the game's launcher, check that one instead: it is likely the game.\n"))
        << text.out;
    JsonValue report;
    ASSERT_TRUE(parseJson(json.out, &report)) << json.out;
    ASSERT_EQ(report["beside"].items.size(), 2u) << json.out;
    // Largest first: the wrapper's stub makes its file the larger.
    EXPECT_EQ(report["beside"].items[0]["file"].text, temp.path + "/wrapped.exe");
    EXPECT_EQ(report["beside"].items[0]["applies"].kind, JsonValue::Kind::Null);
    EXPECT_EQ(report["beside"].items[1]["file"].text, temp.path + "/Game.EXE");
    EXPECT_EQ(report["beside"].items[1]["build"].text, "B");
    EXPECT_EQ(report["beside_not_read"].text, "0");

    // The game itself is answered alone; a 64-bit launcher in a line on stderr.
    const CheckerRun game = check({"--json", temp.path + "/Game.EXE"});
    EXPECT_EQ(game.status, 0);
    EXPECT_TRUE(game.says(fact("beside", "null"))) << game.out;
    std::vector<unsigned char> wide = gameExecutable(build("A"));
    wide[kExeNtHeader + 4] = 0x64;
    wide[kExeNtHeader + 5] = 0x86;
    writeFile(temp.path + "/launcher64.exe", wide);
    const CheckerRun sixtyFour = check({temp.path + "/launcher64.exe"});
    EXPECT_EQ(sixtyFour.status, 2);
    EXPECT_EQ(sixtyFour.err, "menupatch-check: " + temp.path +
                                 "/launcher64.exe: a 64-bit executable, not the 32-bit game; wrapped.exe beside it "
                                 "cannot be told from its file (packed or encrypted): check it while it runs, with "
                                 "--process wrapped.exe; Game.EXE beside it is build B: the plug-in will apply to it\n");
}

// A file that hides what the plug-in reads, though its dry run would fit
// (its signature encrypted, build C's places plain): the game beside it is
// looked for too. Up to the 16 largest executables beside it are read.
TEST(CheckerBesideTheGame, LooksBesideAHiddenFileAndReadsUpToSixteen) {
    TempFolder temp;
    writeFile(temp.path + "/launcher.exe", encrypted("A", [](std::size_t i) { return i == kProbeSection; }));
    writeFile(temp.path + "/game.exe", gameExecutable(build("B")));
    const std::size_t game = gameExecutable(build("B")).size();
    // Larger executables that are none of the builds: the game is the 16th largest.
    writeFile(temp.path + "/big.exe", std::vector<unsigned char>(game + 1, 'x'));
    for (int i = 2; i <= 14; ++i) {
        std::filesystem::create_hard_link(temp.path + "/big.exe", temp.path + "/big-" + std::to_string(i) + ".exe");
    }
    writeFile(temp.path + "/crash-reporter.exe", std::vector<unsigned char>(game + 2, 'x'));

    const CheckerRun sixteenth = check({"--json", temp.path + "/launcher.exe"});
    writeFile(temp.path + "/setup.exe", std::vector<unsigned char>(game + 3, 'x'));
    const CheckerRun seventeenth = check({"--json", temp.path + "/launcher.exe"});

    EXPECT_EQ(sixteenth.status, 2) << sixteenth.out << sixteenth.err;
    EXPECT_TRUE(sixteenth.says(kHidden)) << sixteenth.out;
    EXPECT_TRUE(sixteenth.says("\"beside\": [{\"file\": \"" + temp.path + "/game.exe\", \"build\": \"B\"")) << sixteenth.out;
    EXPECT_TRUE(sixteenth.says(fact("beside_not_read", 0))) << sixteenth.out;
    EXPECT_TRUE(seventeenth.says(fact("beside", "[]"))) << seventeenth.out;
    EXPECT_TRUE(seventeenth.says(fact("beside_not_read", 1))) << seventeenth.out;
}

}  // namespace
