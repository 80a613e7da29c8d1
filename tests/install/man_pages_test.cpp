// The manual pages keep up with the programs: every command, command flag and
// option the programs' help texts name is described in their page.
#include "cli.h"
#include "cli_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace {

std::string Page(const std::string& name) {
    const char* src = std::getenv("ZEL_SOURCE_DIR");
    std::ifstream f(std::string(src ? src : ".") + "/data/man/" + name + ".1.in");
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// "--timeout-mult" as roff writes it: "\-\-timeout\-mult".
std::string Roff(const std::string& s) {
    std::string r;
    for (char c : s)
        r += c == '-' ? std::string("\\-") : std::string(1, c);
    return r;
}

std::set<std::string> Options(const std::string& help) {
    std::set<std::string> opts;
    static const std::regex opt(R"((^|\s)(--[a-z][a-z-]*))");
    for (std::sregex_iterator it(help.begin(), help.end(), opt), end; it != end; ++it)
        opts.insert((*it)[2]);
    return opts;
}

TEST(ManPages, CliCommandsFlagsAndOptions) {
    const std::string page = Page("startzel-cli");
    ASSERT_FALSE(page.empty());
    for (const cli::Command& c : cli::Commands()) {
        const std::regex entry("\\n\\.BR? " + std::regex_replace(Roff(c.name), std::regex(R"(\\)"), R"(\\)") +
                               "( |\\n)");
        EXPECT_TRUE(std::regex_search(page, entry)) << "COMMANDS lacks " << c.name;
        for (const cli::Flag& f : c.flags)
            EXPECT_NE(page.find(Roff(f.name)), std::string::npos) << c.name << " " << f.name;
    }
    std::ostringstream out, err;
    RunCli({"--help"}, out, err);
    for (const std::string& o : Options(out.str()))
        EXPECT_NE(page.find(Roff(o)), std::string::npos) << "OPTIONS lacks " << o;
}

TEST(ManPages, SimulatorOptions) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    FILE* p = popen((std::string(bin) + "/sim/startzel-sim --help").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string help;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        help.append(buf, n);
    pclose(p);
    const std::set<std::string> opts = Options(help);
    EXPECT_GT(opts.size(), 10u);
    const std::string page = Page("startzel-sim");
    for (const std::string& o : opts)
        EXPECT_NE(page.find(Roff(o)), std::string::npos) << "startzel-sim(1) lacks " << o;
}

} // namespace
