// Entry names made into safe file names, without touching any file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/file_name.h"

using extract::MakeFileName;
using extract::NameResult;

namespace {

struct Case {
    std::string entry;
    bool windows;
    NameResult result;
    std::string file;  // for Same and Changed
};

}  // namespace

TEST(MakeFileName, FollowsTheRulesForEachPlatform) {
    const std::vector<Case> cases = {
        // Everywhere.
        {"GAME", false, NameResult::Same, "GAME"},
        {"ABCDEFGH", false, NameResult::Same, "ABCDEFGH"},
        {"\xB6\xDE\xD1", false, NameResult::Same, "\xB6\xDE\xD1"},
        {"\x7F\x80\xFF", false, NameResult::Same, "\x7F\x80\xFF"},
        {"", false, NameResult::Refused, ""},
        {".", false, NameResult::Refused, ""},
        {"..", false, NameResult::Refused, ""},
        // A leading dot would hide the file (and could plant .profile).
        {"...", false, NameResult::Changed, "_.."},
        {".HIDDEN", false, NameResult::Changed, "_HIDDEN"},
        {".profile", false, NameResult::Changed, "_profile"},
        {"A.B", false, NameResult::Same, "A.B"},
        {"/", false, NameResult::Changed, "_"},
        {"../ETC", false, NameResult::Changed, "_._ETC"},
        {"/.X", false, NameResult::Changed, "_.X"},
        {"/ETC/PW", false, NameResult::Changed, "_ETC_PW"},
        // POSIX keeps what Windows must change.
        {"A:B", false, NameResult::Same, "A:B"},
        {"A\\B", false, NameResult::Same, "A\\B"},
        {"CON", false, NameResult::Same, "CON"},
        {"A.", false, NameResult::Same, "A."},
        {"\x01\x1F", false, NameResult::Same, "\x01\x1F"},
        // Windows.
        {"GAME", true, NameResult::Same, "GAME"},
        {"\xB6\xDE\xD1", true, NameResult::Same, "\xB6\xDE\xD1"},
        {"..", true, NameResult::Refused, ""},
        {"<>:\"\\|?*", true, NameResult::Changed, "________"},
        {"C:\\", true, NameResult::Changed, "C__"},
        {"\x01\x1F" "A", true, NameResult::Changed, "__A"},
        {"A.", true, NameResult::Changed, "A_"},
        {"...", true, NameResult::Changed, "_._"},
        {".CON", true, NameResult::Changed, "_CON"},
        {"CON", true, NameResult::Changed, "_CON"},
        {"con", true, NameResult::Changed, "_con"},
        {"Nul.TXT", true, NameResult::Changed, "_Nul.TXT"},
        {"com1", true, NameResult::Changed, "_com1"},
        {"LPT9", true, NameResult::Changed, "_LPT9"},
        {"CONIN$", true, NameResult::Changed, "_CONIN$"},
        {"conout$", true, NameResult::Changed, "_conout$"},
        {"AUX.", true, NameResult::Changed, "_AUX_"},
        {"COM0", true, NameResult::Same, "COM0"},
        {"LPT10", true, NameResult::Same, "LPT10"},
        {"CONSOLE", true, NameResult::Same, "CONSOLE"},
        {"XCON", true, NameResult::Same, "XCON"},
    };
    for (const Case& k : cases) {
        char out[extract::kFileNameSize];
        EXPECT_EQ(MakeFileName(k.entry.c_str(), k.windows, out), k.result)
            << "'" << k.entry << "' windows=" << k.windows;
        if (k.result != NameResult::Refused) {
            EXPECT_EQ(std::string(out), k.file) << "'" << k.entry << "' windows=" << k.windows;
        }
    }
}
