#include "util/quote.h"

#include <gtest/gtest.h>

#include "util/command_line.h"

namespace repair {
namespace {

TEST(Quote, WrapsEveryValueAndEscapesQuotes) {
    EXPECT_EQ(Quote(L""), L"\"\"");
    EXPECT_EQ(Quote(L"a b"), L"\"a b\"");
    EXPECT_EQ(Quote(L"plain"), L"\"plain\"");
    EXPECT_EQ(Quote(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
    EXPECT_EQ(Quote(L"C:\\"), L"\"C:\\\\\"");
    EXPECT_EQ(Quote(L"a\\b\\c"), L"\"a\\b\\c\"") << "backslashes elsewhere stay single";
}

TEST(Quote, EveryValueComesBackUnchangedThroughCommandLineToArgvW) {
    const std::wstring corpus[] = {
        L"",
        L" ",
        L"a b",
        L"\t",
        L"tab\there",
        L"\"",
        L"say \"hi\"",
        L"\"\"\"",
        L"\\",
        L"\\\\",
        L"a\\",
        L"a\\\\",
        L"a\\\"b",
        L"a\\\\\"b",
        L"a\\\\\\\"b",
        L"\\\"",
        L"C:\\",
        L"C:\\Program Files\\Vandrel",
        L"D:\\My Games\\赤砂回廊\\",
        L"\\\\server\\share\\dir\\",
        L"赤砂回廊文件修复",
        L"--client-dir",
        L"a\\b\\c",
        L"end with space ",
        L"\"quoted\\\\\"",
    };
    for (const std::wstring& value : corpus) {
        // The first token is parsed by other rules, so put a program name first.
        const std::optional<Arguments> args = SplitCommandLine((L"prog.exe " + Quote(value)).c_str());
        ASSERT_TRUE(args.has_value());
        ASSERT_EQ(args->size(), 2u) << "value split or lost: [" << testing::PrintToString(value) << "]";
        EXPECT_EQ((*args)[1], value);
    }
    // Several quoted values in a row keep their boundaries.
    std::wstring line = L"prog.exe";
    for (const std::wstring& value : corpus) {
        line += L" " + Quote(value);
    }
    const std::optional<Arguments> all = SplitCommandLine(line.c_str());
    ASSERT_TRUE(all.has_value());
    ASSERT_EQ(all->size(), std::size(corpus) + 1);
    for (std::size_t i = 0; i < std::size(corpus); ++i) {
        EXPECT_EQ((*all)[i + 1], corpus[i]);
    }
}

}  // namespace
}  // namespace repair
