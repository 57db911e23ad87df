// "--save DIR" end to end: the checks in their order with their messages, and what is kept.
#include "tests/sound/folder_modes.h"

namespace {

using namespace folder_test;

const std::string notOneLine = "Sorvane's settings are one JSON line on stdin";
const std::string earlier = R"({"output":{"uid":"earlier"}})";

struct Case {
    const char* what;
    std::optional<std::string> input;  // nothing: standard input is empty
    std::string message;
};

// Each fault reports its own message, and a failed save leaves the earlier settings in place.
void expectRefused(const Case& c) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    harness::writeFile(dir.file("sorvane.json"), earlier);
    auto result = sound(machine, {"--save", dir.path()}, c.input);
    EXPECT_EQ(result.status, 1) << c.what;
    EXPECT_EQ(result.out, errorLine(c.message)) << c.what;
    EXPECT_EQ(harness::readFile(dir.file("sorvane.json")), earlier) << c.what;
    EXPECT_FALSE(harness::exists(dir.file(".sorvane.json.tmp"))) << c.what;
}

TEST(Save, MalformedLinesAreNotSettings) {
    const Case cases[] = {
        {"empty input", std::nullopt, notOneLine},
        {"an empty line", "\n", notOneLine},
        {"not JSON", "output=studio\n", notOneLine},
        {"not JSON, without a line feed", "{\"output\":", notOneLine},
        {"not an object", "[]\n", notOneLine},
        {"a side without uid", R"({"output":{"name":"Studio"}})" "\n", notOneLine},
        {"a bad input beside a good output", R"({"output":{"uid":"studio"},"input":{"name":"Mic"}})" "\n",
         notOneLine},
        {"a rate given as text", R"({"output":{"uid":"studio","rate":"48000"}})" "\n", notOneLine},
        {"a volume that is not a number", R"({"output":{"uid":"studio","volume":{"1":"loud"}}})" "\n", notOneLine},
        {"a side that is not an object", R"({"output":"studio"})" "\n", notOneLine},
        {"others that are not a list", R"({"output":{"uid":"studio"},"others":{"uid":"spk"}})" "\n", notOneLine},
        {"the first line bad, a good one after it", "nonsense\n" R"({"output":{"uid":"studio"}})" "\n",
         notOneLine},
        {"neither side", "{}\n", "Sorvane's settings name an output or an input"},
        {"both sides null", R"({"output":null,"input":null,"others":[{"uid":"spk"}]})" "\n",
         "Sorvane's settings name an output or an input"},
    };
    for (const auto& c : cases) {
        expectRefused(c);
    }
}

TEST(Save, FirstFaultInCheckingOrder) {
    const Case cases[] = {
        {"device before rate", R"({"output":{"uid":"gone","rate":1}})" "\n", "gone isn't a connected output"},
        {"the name where there is one", R"({"output":{"uid":"gone","name":"Old Box"}})" "\n",
         "Old Box isn't a connected output"},
        {"an input-only device as output", R"({"output":{"uid":"mic"}})" "\n", "mic isn't a connected output"},
        {"an output-only device as input", R"({"input":{"uid":"spk","name":"Speakers"}})" "\n",
         "Speakers isn't a connected input"},
        {"rate before layout", R"({"output":{"uid":"studio","rate":7999.5,"layout":""}})" "\n",
         "7999.5 Hz isn't a sample rate"},
        {"a whole rate shows .0", R"({"output":{"uid":"studio","rate":4000}})" "\n", "4000.0 Hz isn't a sample rate"},
        {"just above the top", R"({"output":{"uid":"studio","rate":768000.5}})" "\n",
         "768000.5 Hz isn't a sample rate"},
        {"a negative rate", R"({"output":{"uid":"studio","rate":-48000}})" "\n", "-48000.0 Hz isn't a sample rate"},
        {"layout before volume", R"({"output":{"uid":"studio","layout":"","volume":{"1":2}}})" "\n",
         "that channel layout isn't readable"},
        {"layout not base64", R"({"output":{"uid":"studio","layout":"AgBl*AAAAAAAAAAA"}})" "\n",
         "that channel layout isn't readable"},
        {"layout with a line break", R"({"output":{"uid":"studio","layout":"AgBlAAAA\nAAAAAAAA"}})" "\n",
         "that channel layout isn't readable"},
        {"layout badly padded", R"({"output":{"uid":"studio","layout":"AgBlAAAAAAAAAAA"}})" "\n",
         "that channel layout isn't readable"},
        {"volume below 0", R"({"output":{"uid":"studio","volume":{"1":0.5,"2":-0.01}}})" "\n",
         "a volume runs from 0 to 1"},
        {"volume above 1", R"({"output":{"uid":"studio","volume":{"1":1.01}}})" "\n", "a volume runs from 0 to 1"},
        {"output's last check before input's first",
         R"({"output":{"uid":"studio","volume":{"1":7}},"input":{"uid":"gone"}})" "\n", "a volume runs from 0 to 1"},
        {"a good output does not save a bad input",
         R"({"output":{"uid":"studio","rate":48000},"input":{"uid":"mic","rate":100}})" "\n",
         "100.0 Hz isn't a sample rate"},
        {"a bad input device", R"({"output":{"uid":"spk"},"input":{"uid":"gone"}})" "\n", "gone isn't a connected input"},
    };
    for (const auto& c : cases) {
        expectRefused(c);
    }
}

TEST(Save, KeepsTheRecordAsRead) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    harness::writeFile(dir.file("sorvane.json"), earlier);
    // Exact limits, an empty volume map, others kept unchecked, unknown members dropped, and only
    // the first line read.
    std::string line = R"({"output":{"uid":"studio","rate":8000,"volume":{"1":0,"2":1},"extra":true},)"
                       R"("input":{"uid":"mic","rate":768000,"volume":{}},"others":[{"uid":"nowhere","rate":1}],)"
                       R"("comment":"x"})";
    auto result = sound(machine, {"--save", dir.path()}, line + "\n" + R"({"output":{"uid":"spk"}})" + "\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "{\"type\":\"saved\"}\n");
    EXPECT_EQ(harness::readFile(dir.file("sorvane.json")),
              R"({"input":{"rate":768000,"uid":"mic","volume":{}},"others":[{"rate":1,"uid":"nowhere"}],)"
              R"("output":{"rate":8000,"uid":"studio","volume":{"1":0,"2":1}}})");
    EXPECT_FALSE(harness::exists(dir.file(".sorvane.json.tmp")));
    // Saving changes nothing on the devices.
    EXPECT_EQ(soundState(machine), soundState(harness::Machine(studioMachine())));
}

TEST(Save, LastLineWithoutLineFeedCounts) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    auto result = sound(machine, {"--save", dir.path()}, R"({"input":{"uid":"studio","name":"In\/Out"}})");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(harness::readFile(dir.file("sorvane.json")), R"({"input":{"name":"In\/Out","uid":"studio"}})");
}

TEST(Save, FolderIsCreatedEvenWhenTheLineIsBad) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    std::string folder = dir.file("a/b/c");
    auto result = sound(machine, {"--save", folder});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, errorLine(notOneLine));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(harness::exists(folder + "/sorvane.json"));
}

TEST(Save, FolderThatCannotBeMade) {
    harness::Machine machine(studioMachine());
    harness::TempDir dir;
    harness::writeFile(dir.file("plain"), "a file, not a folder");
    auto result = sound(machine, {"--save", dir.file("plain/settings")}, R"({"output":{"uid":"spk"}})" "\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, errorLine("couldn't keep Sorvane's settings"));
}

}  // namespace
