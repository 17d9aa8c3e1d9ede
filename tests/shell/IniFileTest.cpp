#include "shell/IniFile.h"

#include "fakes/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using quorlan::shell::IniFile;
using quorlan::shell::IniStatus;
using quorlan::shell::ParseIniInteger;
using quorlan::test::TempDir;

struct IntegerCase {
    const char* text;
    std::optional<std::int32_t> expected;
};

TEST(ParseIniInteger, DecimalAndThreeHexFormsOthersRefused) {
    const IntegerCase cases[] = {
        {"600", 600},
        {"-12", -12},
        {"+7", 7},
        {"  42 ", 42},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$ff", 255},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"0x100000000", std::nullopt},
        {"", std::nullopt},
        {"12abc", std::nullopt},
        {"abc", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"1 2", std::nullopt},
        {"0xG1", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIniInteger(c.text), c.expected) << '"' << c.text << '"';
    }
}

constexpr const char* kSample = "; settings\r\n"
                                "[Other]\r\n"
                                "Left=1\r\n"
                                "\r\n"
                                "[CONFIG]\r\n"
                                "  left = 0x10 \r\n"
                                "Top=$20\r\n"
                                "Repeat=abc\r\n"
                                "Quoted=\"  spaced  \"\r\n"
                                "Empty=\r\n"
                                "AutoLogin=5\r\n"
                                "Debug=0\r\n"
                                "Left=999\r\n"
                                "[config]\r\n"
                                "Extra=second section of the same name is not read\r\n";

enum class Kind { String, Integer, Bool };
struct ReadCase {
    const char* section;
    const char* key;
    Kind kind;
    const char* defaultValue; // integers and bools as text
    const char* expected;
};

TEST(IniFileRead, PrivateProfileRules) {
    TempDir dir;
    TempDir::Write(dir.File("a.ini"), kSample);
    IniFile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.Load().ok);

    const ReadCase cases[] = {
        {"config", "Left", Kind::Integer, "405", "16"},        // section and key case, blanks, 0x, first key wins
        {"Config", "TOP", Kind::Integer, "165", "32"},         // "$" hex
        {"config", "Repeat", Kind::Integer, "600", "600"},     // not an integer: default
        {"config", "Missing", Kind::Integer, "7", "7"},        // missing key
        {"nosuch", "Left", Kind::Integer, "405", "405"},       // missing section
        {"other", "left", Kind::Integer, "0", "1"},            // other section read on its own
        {"config", "Quoted", Kind::String, "d", "  spaced  "}, // one pair of quotes removed
        {"config", "Empty", Kind::String, "d", ""},            // present but empty: not the default
        {"config", "Nope", Kind::String, "dflt", "dflt"},
        {"config", "Extra", Kind::String, "d", "d"},           // only the first "config" counts
        {"config", "AutoLogin", Kind::Bool, "0", "1"},         // any non-zero integer is true
        {"config", "Debug", Kind::Bool, "1", "0"},
        {"config", "Empty", Kind::Bool, "1", "1"},             // empty is not an integer: default
    };
    for (const auto& c : cases) {
        std::string got;
        switch (c.kind) {
        case Kind::String: got = ini.ReadString(c.section, c.key, c.defaultValue); break;
        case Kind::Integer: got = std::to_string(ini.ReadInteger(c.section, c.key, std::stoi(c.defaultValue))); break;
        case Kind::Bool: got = ini.ReadBool(c.section, c.key, std::stoi(c.defaultValue) != 0) ? "1" : "0"; break;
        }
        EXPECT_EQ(got, c.expected) << c.section << "/" << c.key;
    }
}

TEST(IniFileRead, AValueEndsAtANulByte) {
    TempDir dir;
    TempDir::Write(dir.File("a.ini"), std::string("[config]\r\nSMSID=gw \0tail\r\nLeft=\0\r\n", 34));
    IniFile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.Load().ok);
    EXPECT_EQ(ini.ReadString("config", "SMSID", "d"), "gw");
    EXPECT_EQ(ini.ReadInteger("config", "Left", 405), 405);
    EXPECT_EQ(ini.Entries("config").front().value, "gw");
}

TEST(IniFileRead, MissingFileReadsDefaultsAndIsNotCreated) {
    TempDir dir;
    IniFile ini(dir.File("none.ini"));
    EXPECT_TRUE(ini.Load().ok);
    EXPECT_EQ(ini.ReadString("config", "BoardURL", "x"), "x");
    EXPECT_EQ(ini.ReadInteger("config", "Left", 405), 405);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.ini")));
}

TEST(IniFileRead, AtMost2047CharactersOfAValueAreSeen) {
    TempDir dir;
    const std::string longValue(3000, 'v');
    TempDir::Write(dir.File("a.ini"), "[config]\nA=" + longValue + "\nB=" + std::string(2047, 'w') + "\n");
    IniFile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.Load().ok);
    EXPECT_EQ(ini.ReadString("config", "A", ""), std::string(2047, 'v'));
    EXPECT_EQ(ini.ReadString("config", "B", ""), std::string(2047, 'w'));
}

TEST(IniFileRead, LfOnlyFileAndLastLineWithoutBreak) {
    TempDir dir;
    TempDir::Write(dir.File("a.ini"), "[config]\nversion=4\nipaddr=10.0.0.1");
    IniFile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.Load().ok);
    EXPECT_EQ(ini.ReadInteger("config", "version", 0), 4);
    EXPECT_EQ(ini.ReadString("config", "ipaddr", ""), "10.0.0.1");
}

// "[config]" and two keys with the line ends and encodings the Windows
// profile functions read: all give the same values.
struct DialectCase {
    const char* name;
    std::string bytes;
};

std::string Utf16(std::string_view ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

const DialectCase kDialectCases[] = {
    {"CR LF", "[config]\r\nRepeat=30\r\nBoardURL=http://b/x\r\n"},
    {"LF", "[config]\nRepeat=30\nBoardURL=http://b/x"},
    {"CR only", "[config]\rRepeat=30\rBoardURL=http://b/x\r"},
    {"CR CR LF", "[config]\r\r\nRepeat=30\r\r\nBoardURL=http://b/x\r\r\n"},
    {"LF CR", "[config]\n\rRepeat=30\n\rBoardURL=http://b/x\n\r"},
    {"mixed", "[config]\rRepeat=30\r\nBoardURL=http://b/x\n"},
    {"UTF-8 mark", "\xEF\xBB\xBF[config]\r\nRepeat=30\r\nBoardURL=http://b/x\r\n"},
    {"UTF-16LE mark", "\xFF\xFE" + Utf16("[config]\r\nRepeat=30\r\nBoardURL=http://b/x\r\n")},
};

TEST(IniFileDialect, LineEndsAndByteOrderMarksReadAlike) {
    for (const auto& c : kDialectCases) {
        TempDir dir;
        TempDir::Write(dir.File("a.ini"), c.bytes);
        IniFile ini(dir.File("a.ini"));
        ASSERT_TRUE(ini.Load().ok) << c.name;
        EXPECT_EQ(ini.ReadInteger("config", "Repeat", 600), 30) << c.name;
        EXPECT_EQ(ini.ReadString("config", "BoardURL", ""), "http://b/x") << c.name;
    }
}

struct DialectWriteCase {
    const char* name;
    std::string before;
    std::string after; // Repeat set to 45 in place, Left=77 added
};

const DialectWriteCase kDialectWriteCases[] = {
    {"CR only", "[config]\rRepeat=30\r", "[config]\rRepeat=45\rLeft=77\r"},
    {"CR CR LF", "[config]\r\r\nRepeat=30\r\r\n", "[config]\r\r\nRepeat=45\r\r\nLeft=77\r\r\n"},
    {"LF CR", "[config]\n\rRepeat=30\n\r", "[config]\n\rRepeat=45\n\rLeft=77\n\r"},
    {"CR only, no last line end", "[config]\rRepeat=30", "[config]\rRepeat=45\rLeft=77\r"},
    {"UTF-8 mark", "\xEF\xBB\xBF; x\r\n[config]\r\nRepeat=30\r\n",
     "\xEF\xBB\xBF; x\r\n[config]\r\nRepeat=45\r\nLeft=77\r\n"},
    {"UTF-16LE mark", "\xFF\xFE" + Utf16("[config]\r\nRepeat=30\r\n"),
     "\xFF\xFE" + Utf16("[config]\r\nRepeat=45\r\nLeft=77\r\n")},
};

TEST(IniFileDialect, WritesEditTheFileInItsOwnLineEndsAndEncoding) {
    for (const auto& c : kDialectWriteCases) {
        TempDir dir;
        TempDir::Write(dir.File("a.ini"), c.before);
        IniFile ini(dir.File("a.ini"));
        ASSERT_TRUE(ini.Load().ok) << c.name;
        ASSERT_TRUE(ini.WriteInteger("config", "Repeat", 45).ok);
        ASSERT_TRUE(ini.WriteInteger("config", "Left", 77).ok);
        ASSERT_TRUE(ini.Save().ok) << c.name;
        EXPECT_EQ(TempDir::Read(dir.File("a.ini")), c.after) << c.name;
    }
}

TEST(IniFileDialect, UnicodeFilesConvertValuesToAndFromCp949) {
    // 직거래 is U+C9C1 U+AC70 U+B798; in cp949 C1 F7 B0 C5 B7 A1.
    const std::string cp949 = "\xC1\xF7\xB0\xC5\xB7\xA1";
    const std::string utf16 = "\xC1\xC9\x70\xAC\x98\xB7";
    const std::string utf8 = "\xEC\xA7\x81\xEA\xB1\xB0\xEB\x9E\x98";
    const struct {
        const char* name;
        std::string before;
        std::string after; // SearchCondition written anew, the same word
    } cases[] = {
        {"UTF-16LE", "\xFF\xFE" + Utf16("[config]\r\nSMSID=") + utf16 + Utf16("\r\n"),
         "\xFF\xFE" + Utf16("[config]\r\nSMSID=") + utf16 + Utf16("\r\nSearchCondition=") + utf16 + Utf16("\r\n")},
        {"UTF-8", "\xEF\xBB\xBF[config]\r\nSMSID=" + utf8 + "\r\n",
         "\xEF\xBB\xBF[config]\r\nSMSID=" + utf8 + "\r\nSearchCondition=" + utf8 + "\r\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        TempDir::Write(dir.File("a.ini"), c.before);
        IniFile ini(dir.File("a.ini"));
        ASSERT_TRUE(ini.Load().ok) << c.name;
        EXPECT_EQ(ini.ReadString("config", "SMSID", ""), cp949) << c.name;
        ASSERT_TRUE(ini.WriteString("config", "SearchCondition", cp949).ok);
        ASSERT_TRUE(ini.Save().ok) << c.name;
        EXPECT_EQ(TempDir::Read(dir.File("a.ini")), c.after) << c.name;
    }
}

// Without a byte-order mark the encoding is told from the bytes: well-formed
// UTF-8 holding a byte above 0x7F is UTF-8, anything else cp949. A file that
// reads both ways is UTF-8. Each file is read, SMSID written anew (자전거) and
// saved.
TEST(IniFileDialect, WithoutAMarkWellFormedUtf8IsUtf8AndAnythingElseCp949) {
    const std::string bike949 = "\xC0\xDA\xC0\xFC\xB0\xC5";           // 자전거
    const std::string bike8 = "\xEC\x9E\x90\xEC\xA0\x84\xEA\xB1\xB0"; // 자전거
    const struct {
        const char* name;
        std::string value; // of BoardURL, as the file holds it
        std::string read;  // cp949
        std::string bike;  // SMSID as written
    } cases[] = {
        {"cp949 Hangul (직거래): no UTF-8 begins with 0xC1", "\xC1\xF7\xB0\xC5\xB7\xA1", "\xC1\xF7\xB0\xC5\xB7\xA1",
         bike949},
        {"ASCII only", "http://b/x", "http://b/x", bike949},
        // 맥북 in UTF-8 is also a cp949 text (留λ턿): read as UTF-8.
        {"UTF-8 that is cp949 too", "\xEB\xA7\xA5\xEB\xB6\x81", "\xB8\xC6\xBA\xCF", bike8},
        // 징 in cp949 is also UTF-8 (U+00A1, ¡): read as UTF-8, ¡ being A2 AE in cp949.
        {"cp949 that is UTF-8 too", "\xC2\xA1", "\xA2\xAE", bike8},
        {"UTF-8 surrogate (not well-formed)", "\xED\xA0\x80", "\xED\xA0\x80", bike949},
        {"UTF-8 overlong slash", "\xC0\xAF", "\xC0\xAF", bike949},
        {"UTF-8 above U+10FFFF", "\xF4\x90\x80\x80", "\xF4\x90\x80\x80", bike949},
        {"UTF-8 cut short at the end", "\xEB\xA7\xA5\xEB\xB6", "\xEB\xA7\xA5\xEB\xB6", bike949},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string before = "[config]\nBoardURL=" + c.value;
        TempDir::Write(dir.File("a.ini"), before);
        IniFile ini(dir.File("a.ini"));
        ASSERT_TRUE(ini.Load().ok) << c.name;
        EXPECT_EQ(ini.ReadString("config", "BoardURL", ""), c.read) << c.name;
        ASSERT_TRUE(ini.WriteString("config", "SMSID", bike949).ok);
        ASSERT_TRUE(ini.Save().ok) << c.name;
        // The line read stays as it was; the new one is in the file's encoding.
        EXPECT_EQ(TempDir::Read(dir.File("a.ini")), before + "\nSMSID=" + c.bike + "\n") << c.name;
    }
}

TEST(IniFileEntries, KeysInFileOrderAndRemovalByKey) {
    TempDir dir;
    TempDir::Write(dir.File("a.ini"), "[other]\nWatch1=x\n[config]\nWatch1=a\n; c\nLeft = '5'\nwatch1=b\n[z]\nk=v\n");
    IniFile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.Load().ok);
    const auto entries = ini.Entries("CONFIG");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].key, "Watch1");
    EXPECT_EQ(entries[0].value, "a");
    EXPECT_EQ(entries[1].key, "Left");
    EXPECT_EQ(entries[1].value, "5");
    EXPECT_EQ(entries[2].value, "b"); // a repeated key as it stands
    EXPECT_TRUE(ini.Entries("missing").empty());

    EXPECT_EQ(ini.RemoveKeys("config", [](std::string_view key) { return key == "Watch1" || key == "watch1"; }), 2u);
    EXPECT_EQ(ini.Text(), "[other]\nWatch1=x\n[config]\n; c\nLeft = '5'\n[z]\nk=v\n");
}

struct WriteCase {
    const char* name;
    const char* before;
    const char* after;
};

TEST(IniFileWrite, ChangesOnlyTheKeyAndKeepsEveryOtherLine) {
    const WriteCase cases[] = {
        {"replace in place, key keeps its spelling", "; note\r\n[config]\r\nleft = 3\r\nTop=4\r\n",
         "; note\r\n[config]\r\nleft=77\r\nTop=4\r\n"},
        {"new key after the last key, before blank lines", "[config]\nTop=4\n\n[other]\nx=1\n",
         "[config]\nTop=4\nLeft=77\n\n[other]\nx=1\n"},
        {"missing section appended", "[other]\r\nx=1\r\n", "[other]\r\nx=1\r\n[config]\r\nLeft=77\r\n"},
        {"empty file gets CRLF lines", "", "[config]\r\nLeft=77\r\n"},
        {"file without a final line break", "[config]\nTop=4", "[config]\nTop=4\nLeft=77\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        TempDir::Write(dir.File("a.ini"), c.before);
        IniFile ini(dir.File("a.ini"));
        ASSERT_TRUE(ini.Load().ok);
        ASSERT_TRUE(ini.WriteInteger("config", "Left", 77).ok);
        ASSERT_TRUE(ini.Save().ok) << c.name;
        EXPECT_EQ(TempDir::Read(dir.File("a.ini")), c.after) << c.name;
    }
}

TEST(IniFileWrite, BooleansAsOneAndZeroAndValuesReadBack) {
    TempDir dir;
    IniFile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.Load().ok);
    ASSERT_TRUE(ini.WriteBool("config", "AutoLogin", true).ok);
    ASSERT_TRUE(ini.WriteBool("config", "Debug", false).ok);
    ASSERT_TRUE(ini.WriteString("config", "BoardURL", "http://h/bbs/zboard.php?id=share&page=2").ok);
    ASSERT_TRUE(ini.Save().ok);

    EXPECT_EQ(TempDir::Read(dir.File("a.ini")),
              "[config]\r\nAutoLogin=1\r\nDebug=0\r\nBoardURL=http://h/bbs/zboard.php?id=share&page=2\r\n");
    IniFile again(dir.File("a.ini"));
    ASSERT_TRUE(again.Load().ok);
    EXPECT_TRUE(again.ReadBool("config", "autologin", false));
    EXPECT_EQ(again.ReadString("config", "boardurl", ""), "http://h/bbs/zboard.php?id=share&page=2");
}

TEST(IniFileWrite, RefusesTextThatWouldAddLines) {
    IniFile ini("unused.ini");
    const std::pair<const char*, std::string> refused[] = {
        {"Key", std::string("a\r\n[config]\r\nparam1=x")},
        {"Key", std::string("a\nb")},
        {"Key", std::string("a\0b", 3)},
        {"Bad=Key", std::string("v")},
        {"[Key", std::string("v")},
        {"", std::string("v")},
    };
    for (const auto& [key, value] : refused) {
        EXPECT_FALSE(ini.WriteString("config", key, value).ok) << key;
    }
    EXPECT_EQ(ini.Text(), "");
}

TEST(IniFileSave, NewFileIsOwnerOnlyAndExistingModeIsKept) {
    TempDir dir;
    IniFile fresh(dir.File("new.ini"));
    ASSERT_TRUE(fresh.Load().ok);
    ASSERT_TRUE(fresh.WriteInteger("config", "Left", 1).ok);
    ASSERT_TRUE(fresh.Save().ok);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("new.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TempDir::Write(dir.File("old.ini"), "[config]\n");
    ASSERT_EQ(::chmod(dir.File("old.ini").c_str(), 0640), 0);
    IniFile old(dir.File("old.ini"));
    ASSERT_TRUE(old.Load().ok);
    ASSERT_TRUE(old.WriteInteger("config", "Left", 1).ok);
    ASSERT_TRUE(old.Save().ok);
    ASSERT_EQ(::stat(dir.File("old.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniFileSave, SymbolicLinkStaysAndItsTargetIsUpdated) {
    TempDir dir;
    TempDir::Write(dir.File("real.ini"), "[config]\n");
    std::filesystem::create_symlink(dir.File("real.ini"), dir.File("link.ini"));
    IniFile ini(dir.File("link.ini"));
    ASSERT_TRUE(ini.Load().ok);
    ASSERT_TRUE(ini.WriteInteger("config", "Left", 5).ok);
    ASSERT_TRUE(ini.Save().ok);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(TempDir::Read(dir.File("real.ini")), "[config]\nLeft=5\n");
}

TEST(IniFileSave, FailuresReturnAnErrorAndLeaveNoTrace) {
    TempDir dir;
    // The directory of the file does not exist: the temporary file cannot be made.
    IniFile noDir(dir.File("missing/Quorlan.ini"));
    ASSERT_TRUE(noDir.Load().ok);
    ASSERT_TRUE(noDir.WriteInteger("config", "Left", 1).ok);
    IniStatus status = noDir.Save();
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.error.find("Unable to write to"), std::string::npos);

    // The target is a directory: the rename fails and the temporary file goes.
    std::filesystem::create_directory(dir.File("taken.ini"));
    TempDir::Write(dir.File("taken.ini/keep"), "x");
    IniFile taken(dir.File("taken.ini"));
    ASSERT_TRUE(taken.WriteInteger("config", "Left", 1).ok);
    EXPECT_FALSE(taken.Save().ok);
    EXPECT_EQ(TempDir::Read(dir.File("taken.ini/keep")), "x");
    std::size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1u); // only "taken.ini"
}

TEST(IniFileSave, ReadOnlyFileIsRefusedAndKept) {
    TempDir dir;
    TempDir::Write(dir.File("a.ini"), "[config]\r\nLeft=1\r\n");
    ASSERT_EQ(::chmod(dir.File("a.ini").c_str(), 0444), 0);
    IniFile ini(dir.File("a.ini"));
    ASSERT_TRUE(ini.Load().ok);
    ASSERT_TRUE(ini.WriteInteger("config", "Left", 2).ok);
    IniStatus status = ini.Save();
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.error, "Unable to write to " + dir.File("a.ini") + ": the file is read-only");
    EXPECT_EQ(TempDir::Read(dir.File("a.ini")), "[config]\r\nLeft=1\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("a.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST(IniFileSave, UnreadableFileIsNeverReplaced) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("a.ini"));
    IniFile ini(dir.File("a.ini"));
    EXPECT_FALSE(ini.Load().ok);
    EXPECT_EQ(ini.ReadInteger("config", "Left", 405), 405);
    ASSERT_TRUE(ini.WriteInteger("config", "Left", 1).ok);
    EXPECT_FALSE(ini.Save().ok);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("a.ini")));
}

} // namespace
