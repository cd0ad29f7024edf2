// The HTML report opened in a real browser: headless Chromium loads the page
// of a run over the bundled samples, a small script marks every picture that
// did not load, and a screenshot is taken.

#include "app/cli/CliApp.h"
#include "platform/Process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace kelvaran::app::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Counts the pictures of the page when it has loaded and names those that
// did not load (no picture data: naturalWidth 0) in attributes of <body>.
const char* kImageCheck = R"(<script>
window.addEventListener('load', function () {
  var broken = [];
  for (var i = 0; i < document.images.length; ++i) {
    var img = document.images[i];
    if (!img.complete || img.naturalWidth === 0) broken.push(img.getAttribute('src'));
  }
  document.body.setAttribute('data-images', String(document.images.length));
  document.body.setAttribute('data-broken', broken.length ? broken.join(' ') : 'none');
});
</script>)";

class HtmlReportBrowserTest : public ::testing::Test {
protected:
    HtmlReportBrowserTest() {
        root_ = fs::temp_directory_path() / ("kelvaran-browser-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "docs");
    }
    ~HtmlReportBrowserTest() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    static bool haveChromium() { return platform::programOnPath("chromium"); }

    // Chromium on this closed network: no sandbox (it runs as root in the
    // test machines), no GPU, nothing fetched in the background, a profile
    // of its own.
    platform::ProcessResult chromium(const std::vector<std::string>& action, const fs::path& page,
                                     const fs::path& output) {
        const fs::path profile = root_ / ("chromium-profile-" + std::to_string(++runs_));
        fs::create_directories(profile);
        std::vector<std::string> argv = {"chromium",
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--disable-quic",
                                         "--no-first-run",
                                         "--disable-background-networking",
                                         "--disable-component-update",
                                         "--disable-sync",
                                         "--user-data-dir=" + profile.string(),
                                         "--virtual-time-budget=10000",
                                         "--window-size=1100,1400"};
        argv.insert(argv.end(), action.begin(), action.end());
        argv.push_back("file://" + page.string());
        return platform::runProcess(argv, std::chrono::seconds(180), output.string());
    }

    // Loads a copy of the page with the check added and gives its DOM.
    std::string loadedDom(const fs::path& folder) {
        std::string page = readAll(folder / "index.html");
        const auto end = page.rfind("</body>");
        EXPECT_NE(end, std::string::npos);
        page.insert(end, kImageCheck);
        const fs::path checked = folder / "checked.html";
        std::ofstream(checked, std::ios::binary) << page;
        const auto result = chromium({"--dump-dom"}, checked, root_ / "dom.txt");
        EXPECT_TRUE(result.started);
        EXPECT_FALSE(result.timedOut);
        fs::remove(checked);
        return readAll(root_ / "dom.txt");
    }

    fs::path root_;
    int runs_ = 0;
};

TEST_F(HtmlReportBrowserTest, EveryThumbnailOfTheReportLoadsInChromium) {
    if (!haveChromium()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
    std::vector<std::string> args = {"kelvaran-cli", "--quiet", "--html-report", (root_ / "report").string()};
    for (const char* name : {"sample.rtf", "sample.doc"}) {
        fs::copy_file(fs::path(KELVARAN_SAMPLE_DIR) / name, root_ / "docs" / name);
        args.push_back((root_ / "docs" / name).string());
    }
    std::vector<const char*> argv;
    for (const auto& arg : args) argv.push_back(arg.c_str());
    CliEnvironment environment;
    environment.configFolder = (root_ / "config").string();
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(runCli(static_cast<int>(argv.size()), argv.data(), environment, out, err), kExitCompleted) << err.str();

    const std::string dom = loadedDom(root_ / "report");
    std::smatch images;
    ASSERT_TRUE(std::regex_search(dom, images, std::regex("data-images=\"([0-9]+)\""))) << dom.substr(0, 2000);
    // Two pictures, before and after, for each of the replaced objects.
    EXPECT_GE(std::stoi(images[1]), 4);
    EXPECT_EQ(std::stoi(images[1]) % 2, 0);
    EXPECT_THAT(dom, HasSubstr("data-broken=\"none\""));

    // The screenshot of the page as a reader sees it.
    const fs::path shot = root_ / "report.png";
    const auto result = chromium({"--screenshot=" + shot.string()}, root_ / "report" / "index.html", root_ / "shot.txt");
    ASSERT_TRUE(result.started);
    ASSERT_TRUE(fs::exists(shot)) << readAll(root_ / "shot.txt");
    EXPECT_EQ(readAll(shot).substr(1, 3), "PNG");
    EXPECT_GT(fs::file_size(shot), 20000u);
    if (const char* keep = std::getenv("KELVARAN_REPORT_SCREENSHOT")) fs::copy_file(shot, keep, fs::copy_options::overwrite_existing);
}

TEST_F(HtmlReportBrowserTest, TheCheckSeesAPictureThatDoesNotLoad) {
    if (!haveChromium()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
    fs::create_directories(root_ / "page");
    std::ofstream(root_ / "page" / "index.html")
        << "<!DOCTYPE html><html><body><img src=\"gone.png\"><img src=\"data:image/gif;base64,"
           "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7\"></body></html>";
    const std::string dom = loadedDom(root_ / "page");
    EXPECT_THAT(dom, HasSubstr("data-images=\"2\""));
    EXPECT_THAT(dom, HasSubstr("data-broken=\"gone.png\""));
}

}  // namespace
}  // namespace kelvaran::app::testing
