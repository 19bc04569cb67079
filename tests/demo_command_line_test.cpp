// The demo's command line (split by the rules a Windows program's is, joined by main() so that
// it splits back exactly, answered) and the search for its files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo/command_line.h"
#include "demo/data_files.h"

namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;

TEST(CommandLine, SplitsAsWindowsDoes) {
    EXPECT_EQ(split_command_line(""), Arguments{});
    EXPECT_EQ(split_command_line("  \t "), Arguments{});
    EXPECT_EQ(split_command_line(" --help\t--version "), (Arguments{"--help", "--version"}));
    EXPECT_EQ(split_command_line(R"("a b" c"d e"f)"), (Arguments{"a b", "cd ef"}));
    // Backslashes are literal unless a quote follows them
    EXPECT_EQ(split_command_line(R"(C:\games\ "C:\Program Files\\")"),
              (Arguments{R"(C:\games\)", R"(C:\Program Files\)"}));
    EXPECT_EQ(split_command_line(R"(a\\\"b "c\"d" "")"), (Arguments{R"(a\"b)", R"(c"d)", ""}));
    EXPECT_EQ(split_command_line(R"("say ""hi""")"), (Arguments{R"(say "hi")"}));
    EXPECT_EQ(split_command_line(nullptr), Arguments{});
}

TEST(CommandLine, JoinedArgumentsSplitBackExactly) {
    const Arguments arguments{"",         "plain",     "two words", R"(quote"inside)", R"(end\)",
                              R"(end\\)", R"(\"x\\")", "tab\there", "--help",          "é ü"};
    for (const std::string& one : arguments) {
        EXPECT_EQ(split_command_line(join_command_line({one}).c_str()), Arguments{one}) << one;
    }
    EXPECT_EQ(split_command_line(join_command_line(arguments).c_str()), arguments);
}

TEST(CommandLine, Answers) {
    EXPECT_TRUE(answer_command_line({}).run);

    const CommandLineAnswer version = answer_command_line({"--version"});
    EXPECT_FALSE(version.run);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "kelvra demo " + std::string(KELVRA_TEST_VERSION) + "\n");

    const CommandLineAnswer help = answer_command_line({"--help", "--version"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output, help_text());

    // Anything else, wherever it stands, is refused, named as it was given
    for (const Arguments& wrong :
         {Arguments{"-h"}, Arguments{"--help", "x y"}, Arguments{""}, Arguments{"--version=2"}}) {
        const CommandLineAnswer refused = answer_command_line(wrong);
        EXPECT_FALSE(refused.run);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.error, "unknown argument \"" + wrong.back() + "\"; try --help\n");
        EXPECT_EQ(refused.output, "");
    }
}

// The program's help and demo.sh's say the same of the keys and of every setting of the table
TEST(CommandLine, HelpSaysWhatDemoShSays) {
    std::string script;
    if (FILE* pipe = popen("'" DEMO_SOURCE_DIR "/demo.sh' --help", "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) script.append(buffer, n);
        EXPECT_EQ(pclose(pipe), 0);
    }
    const auto from_keys = [](const std::string& text) {
        const std::size_t keys = text.find("\nKeys:\n");
        const std::size_t note = text.find("(the demo runs in");
        return keys == std::string::npos ? std::string() : text.substr(keys, note - keys);
    };
    ASSERT_NE(from_keys(script), "") << script;
    EXPECT_EQ(from_keys(help_text()), from_keys(script));
    EXPECT_NE(help_text().find("TRELK_RECORD_SCALE=N"), std::string::npos);
}

// Three folders, each with or without the file: the first that has it as a regular file wins
TEST(DataFiles, FirstFolderWithTheFileWins) {
    const fs::path root =
        fs::path(::testing::TempDir()) / ("data_files_" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path program = root / "prefix" / "games";
    const fs::path share = root / "prefix" / "share" / "games" / "kelvra-demo";
    const fs::path work = root / "work";
    for (const fs::path& folder : {program, share, work}) fs::create_directories(folder);
    const fs::path previous = fs::current_path();
    fs::current_path(work);

    const std::vector<std::string> folders = data_folders(program.string());
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(find_data_file("bla.xm", folders), "");
    std::ofstream(share / "bla.xm") << "x";
    EXPECT_TRUE(fs::equivalent(find_data_file("bla.xm", folders), share / "bla.xm"))
        << "the shared folder's is found through the program's";
    std::ofstream(program / "bla.xm") << "x";
    EXPECT_EQ(find_data_file("bla.xm", folders), (program / "bla.xm").string());
    fs::create_directory(work / "bla.xm");  // not a file: passed over
    EXPECT_EQ(find_data_file("bla.xm", folders), (program / "bla.xm").string());
    fs::remove(work / "bla.xm");
    std::ofstream(work / "bla.xm") << "x";
    EXPECT_EQ(find_data_file("bla.xm", folders), "bla.xm");

    EXPECT_EQ(folders_tried(folders), "looked in: " + fs::current_path().string() + ", " +
                                          program.string() + ", " + share.string());
    EXPECT_EQ(data_folders(""), std::vector<std::string>{""});
    EXPECT_EQ(program_folder(), fs::canonical("/proc/self/exe").parent_path().string());

    fs::current_path(previous);
    fs::remove_all(root);
}

}  // namespace
