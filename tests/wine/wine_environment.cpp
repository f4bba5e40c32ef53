// Every test here runs Windows programs under Wine. Where this machine cannot
// run Wine (or MENUPATCH_WINE=off), each test ends as skipped, with the reason;
// where Wine is required and cannot run, each fails with it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// CTest counts a test that ends with this status as skipped.
constexpr int kSkipped = 77;

class WineEnvironment : public testing::Environment {
public:
    void SetUp() override {
        std::string reason;
        FILE* probe = popen(("bash " + std::string(MENUPATCH_WINE_PROBE) + " 2>&1").c_str(), "r");
        ASSERT_NE(probe, nullptr);
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, probe) != nullptr) reason += buffer;
        const int status = pclose(probe);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (code == 1) {
            std::printf("Skipped: %s", reason.c_str());
            std::fflush(stdout);
            std::_Exit(kSkipped);
        }
        ASSERT_EQ(code, 0) << reason;
    }
};

testing::Environment* const gWine = testing::AddGlobalTestEnvironment(new WineEnvironment);

}  // namespace
