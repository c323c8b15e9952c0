// The server's page as a real browser reads it: names in their colours as
// text, and a name full of markup stays text.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/server/server_fixture.h"

using namespace scorestest;

namespace {

// The document headless Chromium builds from the page; empty when it cannot run.
std::string BrowserDom(uint16_t port, const std::string& profile) {
    const std::string command = "timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
                                "--user-data-dir=" + profile + " --dump-dom http://127.0.0.1:" +
                                std::to_string(port) + "/ 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string dom;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) dom.append(buffer, got);
    ::pclose(pipe);
    return dom;
}

bool HaveChromium() { return std::system("command -v chromium >/dev/null 2>&1") == 0; }

} // namespace

TEST_F(ServerTest, ThePageShowsNamesInTheirColoursAndHostileNamesAsText) {
    ASSERT_TRUE(HaveChromium()) << "chromium is not installed (scripts/deps.sh installs it for the tests)";
    // "^1Red^x00aa00Grn", "<b id=q>x</b><img src=x>" and a name in code page 1251.
    ASSERT_EQ(Status(Post(port, "/saver.php",
                          "user[]=%5E1Red%5Ex00aa00Grn&score[]=30&level[]=5&time[]=1234"
                          "&user[]=%3Cb+id%3Dq%3Ex%3C%2Fb%3E%3Cimg+src%3Dx%3E&score[]=7&level[]=1&time[]=5"
                          "&user[]=%C8%E2%E0%ED&score[]=6&level[]=1&time[]=5")),
              200);
    const std::string dom = BrowserDom(port, dir + "/profile");
    ASSERT_NE(dom.find("Nivora online top"), std::string::npos) << "no page from the browser:\n" << dom;
    EXPECT_NE(dom.find("<span style=\"color:#ff0000\">Red</span><span style=\"color:#00aa00\">Grn</span>"),
              std::string::npos) << dom;
    EXPECT_NE(dom.find(">&lt;b id=q&gt;x&lt;/b&gt;&lt;img src=x&gt;</span>"), std::string::npos) << dom;
    EXPECT_EQ(dom.find("<b id"), std::string::npos) << dom;
    EXPECT_EQ(dom.find("<img"), std::string::npos) << dom;
    EXPECT_NE(dom.find("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"), std::string::npos) << dom; // "Ivan" in Cyrillic, UTF-8
    EXPECT_NE(dom.find("<td>12.34</td>"), std::string::npos);
}
