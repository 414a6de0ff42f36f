// ertkit view's server, asked by an HTTP client as a browser or another site's page would: what
// it refuses (no token, a foreign Host or Origin, "..", saving when read-only), and what it
// writes when saving is allowed.
#include "SampleFolder.h"
#include "ToolRunner.h"

#include "support/TestSupport.h"

#include <services/FileOpening.h>
#include <services/ResultValues.h>

#include <host/Result_File.h>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <regex>
#include <set>

using namespace ertkit_tools_test;

namespace {

class View : public ::testing::Test {
protected:
    // Starts the viewer on `files` (names in the test's own folder, where the sample's result
    // file and recordings are copied) and reads its URL.
    void start(const std::vector<std::string>& files, bool edit)
    {
        for (const char* name : {"line1.binx", "vp123-4567@061423_083000.vmn", "in124-4568@061423_083000.iab"})
            std::filesystem::copy_file(sampleFolder() / name, dir.path() / name);
        std::vector<std::string> args{"view"};
        args.insert(args.end(), files.begin(), files.end());
        if (edit) args.push_back("--edit");
        tool = std::make_unique<BackgroundTool>(args, dir.path());
        const std::string url = tool->firstLine(60.0);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(url, match, std::regex(R"(http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32}))"))) << url << tool->errText();
        port = std::stoi(match[1]);
        token = match[2];
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
    }
    std::string withToken(const std::string& path) const { return path + (path.find('?') == std::string::npos ? "?" : "&") + "token=" + token; }
    int get(const std::string& target, const httplib::Headers& headers = {}) const
    {
        const auto answer = client->Get(target, headers);
        return answer ? answer->status : -1;
    }
    httplib::Result post(const std::string& target, const nlohmann::json& body) const
    {
        return client->Post(withToken(target), body.dump(), "application/json");
    }

    ertkit_test::TempDir dir;
    std::unique_ptr<BackgroundTool> tool;
    std::unique_ptr<httplib::Client> client;
    int port = 0;
    std::string token;
};

TEST_F(View, RefusesForeignRequestsDotDotSavingWithoutEditAndBadRules)
{
    start({"line1.binx"}, false);
    const std::string host = "127.0.0.1:" + std::to_string(port);
    struct Case {
        const char* what;
        std::string target;
        httplib::Headers headers;
        int status;
    };
    const std::vector<Case> cases{
        {"the page with its token", withToken("/"), {}, 200},
        {"the survey with its token", withToken("/api/survey"), {}, 200},
        {"the token as a header", "/api/survey", {{"X-Ertkit-Token", token}}, 200},
        {"localhost by name", withToken("/api/survey"), {{"Host", "localhost:" + std::to_string(port)}}, 200},
        {"this server as the Origin", withToken("/api/survey"), {{"Origin", "http://" + host}}, 200},
        {"no token", "/api/survey", {}, 403},
        {"no token, the page", "/", {}, 403},
        {"another run's token", "/api/survey?token=" + std::string(32, '0'), {}, 403},
        {"the token cut short", "/api/survey?token=" + token.substr(0, 31), {}, 403},
        {"a rebinding name as the Host", withToken("/api/survey"), {{"Host", "attacker.example:" + std::to_string(port)}}, 403},
        {"another port in the Host", withToken("/api/survey"), {{"Host", "127.0.0.1:" + std::to_string(port + 1)}}, 403},
        {"another site's page", withToken("/api/survey"), {{"Origin", "http://attacker.example"}}, 403},
        {"this host over https", withToken("/api/survey"), {{"Origin", "https://" + host}}, 403},
        {"a null Origin", withToken("/api/survey"), {{"Origin", "null"}}, 403},
        {"'..' in the path", withToken("/../line1.binx"), {}, 400},
        {"'..' encoded in the path", withToken("/%2e%2e/line1.binx"), {}, 400},
        {"'..' in a parameter", withToken("/api/reading?file=../line1.binx&index=0"), {}, 400},
        {"a file by name", withToken("/api/reading?file=line1.binx&index=0"), {}, 400},
        {"a file not given", withToken("/api/reading?file=1&index=0"), {}, 404},
        {"a reading past the end", withToken("/api/reading?file=0&index=100000"), {}, 404},
        {"a file's path", withToken("/line1.binx"), {}, 404},
    };
    for (const Case& c : cases) EXPECT_EQ(get(c.target, c.headers), c.status) << c.what;

    const auto saved = post("/api/save", {{"file", 0}, {"reject", {3}}});
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, 403);
    EXPECT_NE(saved->body.find("--edit"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "line1-qc.binx"));
    const auto bad = post("/api/qc", {{"rules", {{"frobnicate", 1}}}});
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_NE(bad->body.find("frobnicate"), std::string::npos) << bad->body;
    // A rule switched off is counted no more.
    const auto off = post("/api/qc", {{"rules", {{"stack", false}}}});
    ASSERT_TRUE(off);
    ASSERT_EQ(off->status, 200);
    EXPECT_EQ(nlohmann::json::parse(off->body)["files"][0]["counts"][3], 0);
    // Being stopped is how a viewer ends: no failure, nothing said to be interrupted.
    EXPECT_EQ(tool->stop(SIGINT), 0);
    EXPECT_EQ(tool->errText(), "");
}

TEST_F(View, ReadingGivesItsValuesStackAndInjection)
{
    start({"line1.binx"}, false);
    // A browser accepts compressed answers; the library would spend seconds compressing a
    // large survey's arrays for the loopback, so none is.
    const auto answer = client->Get(withToken("/api/reading?file=0&index=2"), {{"Accept-Encoding", "gzip, deflate, br"}});
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->status, 200);
    EXPECT_FALSE(answer->has_header("Content-Encoding")) << answer->get_header_value("Content-Encoding");
    const auto reading = nlohmann::json::parse(answer->body);
    const auto file = ertkit::openResults((dir.path() / "line1.binx").string(), noProgress());
    const auto& record = *file->getResults()[2];
    EXPECT_DOUBLE_EQ(reading["values"]["vp"].get<double>(), ertkit::resultValues(record).vp);
    EXPECT_FALSE(reading["stack"]["values"].empty());
    ASSERT_TRUE(reading["injection"]["voltage"].is_object());
    EXPECT_EQ(reading["injection"]["voltage"]["file"], "vp123-4567@061423_083000.vmn");
    EXPECT_TRUE(reading["injection"]["current"].is_object());
    EXPECT_TRUE(reading["injection"]["voltage"]["overload"].empty());
    // Reading 12's voltage recording holds a spike that overloads the receiver: marked.
    const auto spiked = client->Get(withToken("/api/reading?file=0&index=12"));
    ASSERT_TRUE(spiked);
    ASSERT_EQ(spiked->status, 200);
    const auto voltage = nlohmann::json::parse(spiked->body)["injection"]["voltage"];
    EXPECT_FALSE(voltage["overload"].empty()) << voltage["file"];
    EXPECT_FALSE(voltage["pps"].empty());
}

TEST_F(View, SavesTheChoicesAsANewFileOrInPlaceKeepingTheOriginal)
{
    start({"line1.binx"}, true);
    const auto original = ertkit_test::readFile(dir.file("line1.binx"));
    const auto ignoredIn = [](const std::filesystem::path& path) {
        std::set<std::size_t> ignored;
        const auto file = ertkit::openResults(path.string(), noProgress());
        for (std::size_t i = 0; i < file->getResults().size(); ++i)
            if (file->getResults()[i]->getIgnore()) ignored.insert(i);
        return ignored;
    };
    // The sample's file has readings ignored already: they stay so.
    const std::set<std::size_t> before = ignoredIn(dir.path() / "line1.binx");
    ASSERT_FALSE(before.empty());
    ASSERT_FALSE(before.contains(1) || before.contains(2) || before.contains(4));
    const auto with = [&before](std::initializer_list<std::size_t> more) {
        std::set<std::size_t> all = before;
        all.insert(more);
        return all;
    };
    const auto copy = post("/api/save", {{"file", 0}, {"reject", {1, 4}}});
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->status, 200) << copy->body;
    EXPECT_EQ(ignoredIn(dir.path() / "line1-qc.binx"), with({1, 4}));
    EXPECT_EQ(ertkit_test::readFile(dir.file("line1.binx")), original);

    const auto in_place = post("/api/save", {{"file", 0}, {"reject", {2}}, {"in_place", true}});
    ASSERT_TRUE(in_place);
    ASSERT_EQ(in_place->status, 200) << in_place->body;
    EXPECT_EQ(ignoredIn(dir.path() / "line1.binx"), with({2}));
    EXPECT_EQ(ertkit_test::readFile(dir.file("line1.binx.bak")), original);
    // A second save in place keeps the first backup: the original is never overwritten. A
    // reading kept that the file ignored is no longer ignored.
    const std::size_t was_ignored = *before.begin();
    const auto again = post("/api/save", {{"file", 0}, {"keep", {2, was_ignored}}, {"in_place", true}});
    ASSERT_TRUE(again);
    ASSERT_EQ(again->status, 200) << again->body;
    std::set<std::size_t> expected = before;
    expected.erase(was_ignored);
    EXPECT_EQ(ignoredIn(dir.path() / "line1.binx"), expected);
    EXPECT_EQ(ertkit_test::readFile(dir.file("line1.binx.bak")), original);

    const auto out_of_range = post("/api/save", {{"file", 0}, {"reject", {100000}}});
    ASSERT_TRUE(out_of_range);
    EXPECT_EQ(out_of_range->status, 400);
}

} // namespace
